#ifndef WIRETIMELINE_H
#define WIRETIMELINE_H

#include <QByteArray>
#include <QFile>

#include "frameTally.h"

// How far along the ideal wire time a transfer is, found by reading the file
// alongside it: holds vary a lot from line to line, so counting lines alone
// would make a poor guess of the time left.
class wireTimeline
{
public:
    wireTimeline(const QString &path, qint64 totalWireUs);

    void advanceTo(qint64 linesDone);
    // The time left at the pace seen so far.
    qint64 remainingMs(qint64 elapsedMs) const;

private:
    Q_DISABLE_COPY(wireTimeline)

    QFile file;
    QByteArray line;
    qint64 linesRead = 0;
    qint64 totalUs;
    frameTally done;
};

#endif // WIRETIMELINE_H
