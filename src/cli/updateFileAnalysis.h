#ifndef UPDATEFILEANALYSIS_H
#define UPDATEFILEANALYSIS_H

#include <QByteArray>
#include <QString>

#include "frameTally.h"
#include "packetLineCheck.h"
#include "updateFileHeader.h"

// What the transfer would do with an update file, found without a port by
// reading it the way the transfer does.
struct updateFileAnalysis
{
    QString file;
    QString openFailure; // the transfer's text when the file cannot be opened
    QByteArray sha256;   // in hex; not read for a refused file
    updateFileHeader header;
    qint64 lines = 0;
    qint64 packetLines = 0;
    qint64 commentLines = 0;
    frameTally tally;
    warningList warnings;
    QString refused; // the transfer's refusal; empty when it would send the file

    bool opened() const { return openFailure.isEmpty(); }
};

// Reads the file a few times over, a bounded piece at a time.
updateFileAnalysis analyzeUpdateFile(const QString &path);

#endif // UPDATEFILEANALYSIS_H
