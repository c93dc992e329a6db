#include "scheduleModel.h"

#include "benchWorkloads.h"
#include "dmx512.h"
#include "lineSchedule.h"
#include "systemTimer.h"

namespace scheduleModel {

namespace {

// Time passes only in a sleep and in every look at the clock, so a spin costs busy time. With ticks, sleeps go
// as a MinGW build's do under Windows' timer: cut to whole milliseconds (none at all under one), woken at the
// next tick. Without, the timer wakes 40 us late, and every fourth sleep 1 ms late, as on a busy machine; on a
// crowded one every sleep wakes 2 ms late, and a thread that has run for half a millisecond is preempted for 3.
class modelTimer : public waitTimer
{
public:
    explicit modelTimer(const timerModel &model) : model(model) {}
    qint64 nowNs() override
    {
        busyNs += lookNs;
        now += lookNs;
        if (model.crowded && now - runningSinceNs > 500000)
            runningSinceNs = now += 3000000;
        return now;
    }
    void sleepUntil(qint64 deadlineNs) override
    {
        const qint64 wholeMs = (deadlineNs - now) / 1000000;
        if (model.crowded)
            now = qMax(now, deadlineNs) + 2000000;
        else if (model.tickNs == 0)
            now = qMax(now, deadlineNs) + (++sleeps % 4 == 0 ? 1000000 : 40000);
        else if (wholeMs > 0)
            now = ((now + wholeMs * 1000000) / model.tickNs + 1) * model.tickNs;
        runningSinceNs = now;
    }
    qint64 busyNs = 0;

private:
    static constexpr qint64 lookNs = 200; // a clock read and a pause
    const timerModel model;
    qint64 now = 1234567891; // between two ticks
    qint64 runningSinceNs = now;
    int sleeps = 0;
};

qint64 characters(const sentFrame &run)
{
    return (run.hex.size() + 1) / 3;
}

QStringList sendThrough(lineSchedule &schedule, waitTimer &clock, const framePlan &frames)
{
    QStringList early;
    qint64 bytesOutNs = clock.nowNs(), breakDueNs = bytesOutNs;
    for (const sentFrame &run : frames) {
        for (int time = 1; time <= run.times; ++time) {
            schedule.waitForNextBreak();
            const qint64 breakNs = clock.nowNs();
            schedule.wait(dmx512::breakMicroseconds);
            const qint64 markNs = clock.nowNs();
            schedule.wait(dmx512::markAfterBreakMicroseconds);
            const qint64 writtenNs = clock.nowNs();
            schedule.frameWritten(characters(run));
            if (breakNs < breakDueNs || markNs - breakNs < dmx512::breakMicroseconds * 1000
                || writtenNs - markNs < dmx512::markAfterBreakMicroseconds * 1000)
                early << QStringLiteral("%1 (%2 of %3)").arg(run.hex.left(17).constData()).arg(time).arg(run.times);
            const qint64 holdMs = time == run.times ? run.holdMs : 0;
            bytesOutNs = writtenNs + characters(run) * dmx512::characterMicroseconds * 1000;
            breakDueNs = bytesOutNs + holdMs * 1000000;
            schedule.holdAfterFrame(quint32(holdMs));
            while (schedule.sleepSliceOfHold()) {
            }
        }
    }
    schedule.waitForLastFrame();
    if (clock.nowNs() < bytesOutNs)
        early << QStringLiteral("the last frame");
    return early;
}

} // namespace

QVector<timerModel> timerModels()
{
    return {{QStringLiteral("Windows' default timer"), 15625000},
            {QStringLiteral("timer at 1 ms"), 1000000},
            {QStringLiteral("fine timer, busy machine"), 0},
            {QStringLiteral("fine timer, more lines than cores"), 0, true}};
}

result send(const framePlan &frames, const timerModel &timer)
{
    auto *model = new modelTimer(timer);
    lineSchedule schedule{std::unique_ptr<waitTimer>(model)};
    const qint64 startNs = model->nowNs();
    model->busyNs = 0;
    result sent;
    sent.early = sendThrough(schedule, *model, frames);
    const double tookNs = double(model->nowNs() - startNs);
    sent.overIdeal = tookNs / (benchWorkloads::idealSeconds(frames) * 1e9);
    sent.busyShare = double(model->busyNs) / tookNs;
    return sent;
}

QStringList sendBySystemTimer(const framePlan &frames)
{
    lineSchedule schedule;
    systemTimer clock;
    return sendThrough(schedule, clock, frames);
}

} // namespace scheduleModel
