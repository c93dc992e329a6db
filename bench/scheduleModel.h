#ifndef SCHEDULEMODEL_H
#define SCHEDULEMODEL_H

#include "framePlan.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The schedule's waits alone, as the wire and the transfer engine make them, in virtual time under models of the
// system's timer: what a transfer's waits cost in time on the line and in processor time, apart from anything
// else the machine does. The benchmarks report it, and the schedule's test holds it to its limits.
namespace scheduleModel {

struct timerModel
{
    QString name;
    qint64 tickNs; // 0 for a fine timer
    bool crowded = false; // more lines than cores: every sleep late, and a thread that runs on is preempted
};
// Windows' default timer (15.625 ms ticks), the same at 1 ms, a fine timer on a busy machine, often late, and one
// on a machine with more lines to send than cores.
QVector<timerModel> timerModels();

struct result
{
    double overIdeal = 0; // the time over the frames' ideal time on the wire
    double busyShare = 0; // of that time, spent spinning
    QStringList early; // the frames that start, or whose break or mark ends, too early
};
result send(const framePlan &frames, const timerModel &timer);

// The same with the system's own timer, in real time: only the frames that come early.
QStringList sendBySystemTimer(const framePlan &frames);

} // namespace scheduleModel

#endif // SCHEDULEMODEL_H
