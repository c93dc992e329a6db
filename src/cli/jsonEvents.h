#ifndef JSONEVENTS_H
#define JSONEVENTS_H

#include <QString>
#include <QVector>

#include "transferEnding.h"

// send --json: one JSON object a line on standard output, for scripts.
class jsonEvents
{
public:
    jsonEvents(bool enabled, int ports);

    void start(const QString &name, qint64 lines, qint64 wireTimeUs);
    // At most ten a second for each port.
    void progress(int port, const QString &name, qint64 line, qint64 lines, qint64 elapsedMs, qint64 remainingMs);
    void ending(const QString &name, const transferEnding &ending);

private:
    bool enabled;
    QVector<qint64> lastProgressMs;
};

#endif // JSONEVENTS_H
