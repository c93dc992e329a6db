#ifndef UPDATEFILEANALYSIS_H
#define UPDATEFILEANALYSIS_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

#include "updateFileHeader.h"

struct fileWarning
{
    qint64 line = 0; // 0: the file as a whole
    // header, noPackets, field, longHold, packetTooLong, emptyPacket, carriageReturn, cutShort; and instead of
    // all the others, which would only be riddles: byteOrderMark (for line 1 and the header), utf16 or binary
    QString kind;
    QString message; // what came from the file is shown escaped
};

// What the transfer would do with an update file, found without a port by
// reading it the way the transfer does.
struct updateFileAnalysis
{
    QString file;        // as it was named
    QString path;        // what is read and sent
    QString openFailure; // the transfer's words when the file cannot be opened, and on a line of its own why
    QString refused;     // the transfer's refusal; empty when it would send the file
    bool stopped = false; // stopped on request before the end: nothing else here counts
    QByteArray sha256;   // in hex; not read for a refused file
    updateFileHeader header;
    qint64 lines = 0, packetLines = 0, commentLines = 0;
    // What goes on the wire, repetitions included; packet bytes without start codes.
    qint64 frames = 0, packetBytes = 0, holdTimeMs = 0, wireTimeUs = 0;
    // A broken file can hold millions: the first thousand, in line order; the rest only counted.
    QVector<fileWarning> warnings;
    qint64 warningCount = 0;
    QVector<qint64> wireCheckpoints; // the wire time before every checkpointStep-th line
    qint64 checkpointStep = 1;

    bool opened() const { return openFailure.isEmpty(); }
    // Why the file is refused before the first frame; with 'strict' also a file with warnings.
    QString refusal(bool strict) const;
    // As refusal(), and also a file without a single packet line: a transfer of it would finish, and
    // report success, without a frame on the wire.
    QString refusalToSend(bool strict) const;
    void warn(qint64 line, const char *kind, const QString &message);
    // The ideal wire time of the lines before 'line'.
    qint64 wireTimeUsBefore(qint64 line) const;
    // The time an update of this file still needs once linesDone of its lines are out after elapsedMs.
    qint64 remainingMs(qint64 linesDone, qint64 elapsedMs) const;
};

struct updateFileAnalysisOptions
{
    // The name for the file in the analysis and its texts, where it is not the path read (a link standing in for
    // a name that cannot be spelled in the locale's encoding, a copy of piped input).
    QString shownName;
    // Asked now and then during a long check or copy: true stops it, and the analysis comes back 'stopped'.
    std::function<bool()> stopRequested;
    // Told at the same times: how many of the file's bytes the analysis has read, of how many.
    std::function<void(qint64 read, qint64 size)> progressed = nullptr;
};

// A regular file is read in bounded pieces, twice: its lines counted (where a line too long is refused), then
// analyzed. Anything else is not opened, as the transfer would not open it.
updateFileAnalysis analyzeUpdateFile(const QString &file, const updateFileAnalysisOptions &options = {});
// A file that could not be opened, and why, in the transfer's words.
updateFileAnalysis unopenedUpdateFile(const QString &name, const QString &reason);

#endif // UPDATEFILEANALYSIS_H
