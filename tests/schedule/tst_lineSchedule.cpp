// The schedule's waits under models of the system's timer, in virtual time: each workload of the benchmarks takes
// at most 3 % more than its time on the wire, and no break, mark, frame or hold ends early. No port: it runs
// wherever it is built.
#include "benchWorkloads.h"
#include "dmx512.h"
#include "lineSchedule.h"
#include "systemTimer.h"

#include <QtTest>

namespace {

// Time passes only in a sleep and in every look at the clock, so a spin costs busy time. With ticks, sleeps go
// as a MinGW build's do under Windows' timer: cut to whole milliseconds (none at all under one), woken at the
// next tick. Without, the timer is fine and wakes 40 us late, and every 500th sleep 2 ms late, as on a busy machine.
class modelTimer : public waitTimer
{
public:
    explicit modelTimer(qint64 tickNs) : tickNs(tickNs) {}
    qint64 nowNs() override
    {
        busyNs += lookNs;
        return now += lookNs;
    }
    void sleepUntil(qint64 deadlineNs) override
    {
        const qint64 wholeMs = (deadlineNs - now) / 1000000;
        if (tickNs == 0)
            now = qMax(now, deadlineNs) + (++sleeps % 500 == 0 ? 2000000 : 40000);
        else if (wholeMs > 0)
            now = ((now + wholeMs * 1000000) / tickNs + 1) * tickNs;
    }
    qint64 busyNs = 0;

private:
    static constexpr qint64 lookNs = 200;
    const qint64 tickNs;
    qint64 now = 1234567891; // between two ticks
    int sleeps = 0;
};

// Sends the frames through the schedule as the wire and the transfer engine do; the frames and holds that end
// early, by the clock given.
QStringList sendThrough(lineSchedule &schedule, waitTimer &clock, const framePlan &frames)
{
    QStringList early;
    qint64 bytesOutNs = clock.nowNs(), breakDueNs = bytesOutNs;
    int index = 0;
    for (const sentFrame &run : frames) {
        const qint64 characters = (run.hex.size() + 1) / 3;
        for (int time = 1; time <= run.times; ++time, ++index) {
            schedule.waitForNextBreak();
            const qint64 breakNs = clock.nowNs();
            schedule.wait(dmx512::breakMicroseconds);
            const qint64 markNs = clock.nowNs();
            schedule.wait(dmx512::markAfterBreakMicroseconds);
            const qint64 writtenNs = clock.nowNs();
            schedule.frameWritten(characters);
            if (breakNs < breakDueNs || markNs - breakNs < dmx512::breakMicroseconds * 1000
                || writtenNs - markNs < dmx512::markAfterBreakMicroseconds * 1000)
                early << QStringLiteral("frame %1: break %2 ns after it was due, break %3 ns, mark %4 ns")
                             .arg(index).arg(breakNs - breakDueNs).arg(markNs - breakNs).arg(writtenNs - markNs);
            const quint32 holdMs = time == run.times ? quint32(run.holdMs) : 0;
            bytesOutNs = writtenNs + characters * dmx512::characterMicroseconds * 1000;
            breakDueNs = bytesOutNs + holdMs * 1000000LL;
            schedule.holdAfterFrame(holdMs);
            while (schedule.sleepSliceOfHold()) {
            }
        }
    }
    schedule.waitForLastFrame();
    if (clock.nowNs() < bytesOutNs)
        early << QStringLiteral("the last frame");
    return early;
}

qint64 idealNs(const framePlan &frames)
{
    qint64 us = 0;
    for (const sentFrame &run : frames)
        us += run.times * dmx512::frameMicroseconds((run.hex.size() + 1) / 3 - 1, 0) + 1000LL * run.holdMs;
    return us * 1000;
}

} // namespace

class tst_lineSchedule : public QObject
{
    Q_OBJECT

private slots:
    void waitsEndOnTime_data()
    {
        QTest::addColumn<framePlan>("frames");
        QTest::addColumn<qint64>("tickNs"); // 0 for a fine timer, -1 for the system's own
        QTest::addColumn<double>("busyShare"); // at most

        for (const benchWorkloads::workload &w : benchWorkloads::transferWorkloads()) {
            const framePlan frames = benchWorkloads::expectedFrames(w);
            QTest::addRow("%s, Windows' default timer", qPrintable(w.name)) << frames << qint64(15625000) << 1.0;
            QTest::addRow("%s, timer at 1 ms", qPrintable(w.name)) << frames << qint64(1000000) << 1.0;
            // A late wake now and then must not leave the worker spinning.
            QTest::addRow("%s, fine timer, now and then late", qPrintable(w.name)) << frames << qint64(0) << 0.1;
        }
        // In real time, so only the order counts: the timer of the system the test was built for.
        benchWorkloads::workload typical;
        QVERIFY(benchWorkloads::findWorkload(QStringLiteral("typical"), &typical));
        QTest::newRow("typical's first 50 lines, the system's timer") << benchWorkloads::expectedFrames(typical).mid(0, 50) << qint64(-1) << 1.0;
    }

    void waitsEndOnTime()
    {
        QFETCH(framePlan, frames);
        QFETCH(qint64, tickNs);
        QFETCH(double, busyShare);

        if (tickNs < 0) {
            lineSchedule schedule;
            systemTimer clock;
            const QStringList early = sendThrough(schedule, clock, frames);
            QVERIFY2(early.isEmpty(), qPrintable(early.join(QLatin1Char('\n'))));
            return;
        }
        auto *model = new modelTimer(tickNs);
        lineSchedule schedule{std::unique_ptr<waitTimer>(model)};
        const qint64 startNs = model->nowNs();
        const QStringList early = sendThrough(schedule, *model, frames);
        QVERIFY2(early.isEmpty(), qPrintable(early.mid(0, 5).join(QLatin1Char('\n'))));
        const qint64 tookNs = model->nowNs() - startNs;
        const double overIdeal = double(tookNs) / double(idealNs(frames));
        QVERIFY2(overIdeal <= 1.03, qPrintable(QStringLiteral("%1 times the ideal time").arg(overIdeal)));
        QVERIFY2(busyShare >= 1 || double(model->busyNs) / double(tookNs) <= busyShare,
                 qPrintable(QStringLiteral("busy %1 % of the time").arg(100.0 * double(model->busyNs) / double(tookNs))));
    }
};

QTEST_APPLESS_MAIN(tst_lineSchedule)
#include "tst_lineSchedule.moc"
