#ifndef UPDATEHISTORY_H
#define UPDATEHISTORY_H

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include "runRecord.h"

class QLockFile;

// Every update of the window and the tool, one record per interface and run, in an append-only journal of JSON
// lines that the window, the tool and a tool on eight lines share: a start record on disk before the first frame,
// a checkpoint now and then, an end record. A start without an end is an update the program did not see to its
// end. A line torn by a power cut costs that line alone.
class updateHistory
{
public:
    // By default the user's data folder, shared by the window and the tool.
    explicit updateHistory(const QString &folder = defaultFolder());
    static QString defaultFolder();
    QString journalPath() const;

    // Each says why the record could not be written, or nothing when it was. Start and end records are on the
    // disk, not only in its cache, when they return.
    QString recordStart(const runRecord &run);
    QString recordProgress(const runRecord &run);
    QString recordEnd(const runRecord &run);
    QString recordNoticed(const QString &runId);
    // Held while the run goes: its start without an end then reads as running, not as interrupted.
    std::unique_ptr<QLockFile> holdRunning(const QString &runId);

    // Every run recorded, newest first. A line that does not parse is skipped, and said in 'warnings'.
    QVector<runRecord> runs(QStringList *warnings = nullptr) const;
    // Why the journal cannot be read; empty when it can, or when there is none yet.
    QString readProblem() const;

    // Rotated before it passes this, one previous journal kept.
    static constexpr qint64 maxJournalBytes = 1024 * 1024;

private:
    QString append(const QJsonObject &record, bool durable);
    QString runningLockPath(const QString &runId) const;
    bool stillRunning(const QString &runId) const;

    QString folder;
};

// Queries on runs as runs() lists them, newest first.
namespace historyQueries {

// What the window tells at start: interrupted updates, and those that failed or were canceled with frames out,
// not told yet and not covered since by a finished update of the same file through the same interface.
QVector<runRecord> untold(const QVector<runRecord> &runs);
// Interrupted updates through this interface that no finished update has covered since.
QVector<runRecord> uncoveredInterrupted(const QVector<runRecord> &runs, const runInterface &interface);
// A run as the tool's history command shows it in JSON.
QJsonObject toJson(const runRecord &run);

} // namespace historyQueries

#endif // UPDATEHISTORY_H
