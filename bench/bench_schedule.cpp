// The schedule's waits alone, in virtual time under models of the system's timer (scheduleModel.h): for each
// workload, the time over its ideal time on the wire, and the share of it spent spinning. Needs no shim and no
// real time, so the figures are the same on every machine. On the busy machine's fine timer no schedule keeps
// time; what counts there is that the worker does not spin for nothing.
//
//   bench_schedule
//
// Prints rows of the benchmark table; exits with 1 when a frame, break, mark or hold ends early.

#include "benchStatistics.h"
#include "benchWorkloads.h"
#include "scheduleModel.h"

int main()
{
    bool allGood = true;
    for (const benchWorkloads::workload &w : benchWorkloads::transferWorkloads()) {
        for (const scheduleModel::timerModel &timer : scheduleModel::timerModels()) {
            const scheduleModel::result sent = scheduleModel::send(benchWorkloads::expectedFrames(w), timer);
            const QString subject = QStringLiteral("%1 (the schedule alone, %2)").arg(w.name, timer.name);
            benchStatistics::printRow(subject, QStringLiteral("time / ideal wire time in virtual time (share spinning; early)"),
                                      QStringLiteral("%1 (%2; %3 early)").arg(sent.overIdeal, 0, 'f', 4).arg(sent.busyShare, 0, 'f', 2).arg(sent.early.size()),
                                      timer.tickNs > 0 ? QStringLiteral("<= 1.03; 0 early") : QStringLiteral("0 early"));
            allGood = allGood && sent.early.isEmpty();
        }
    }
    return allGood ? 0 : 1;
}
