#include "lineSchedule.h"

#include "dmx512.h"
#include "systemTimer.h"

#include <algorithm>
#include <iterator>
#include <thread>

namespace {

// Waking from a sleep with 1 ns of timer slack takes up to a few tens of microseconds on most machines; at least
// that much is always spun.
constexpr qint64 leastMarginNs = 50000;
// A late wake counts for this long. A margin above the waits leaves nothing to sleep and so nothing new to learn:
// forgetting lets a margin that a busy moment raised come down, and costs a coarse timer one late wake as often.
constexpr qint64 lateWakeMemoryNs = 10000000000;
// A spin that ends this late was cut short by other threads: the processor is crowded (eight lines on two
// cores), and the late wakes are theirs, not a coarse timer's. Where four of the last sixteen spins were cut,
// spins stay short for as long as a late wake is remembered: a long spin would only take the processor from the
// other lines, and make every line later.
constexpr qint64 spinCutNs = 100000;
constexpr int crowdedSpins = 4;
// Short enough that a cancel during a long hold is seen at once.
constexpr qint64 holdSliceNs = 5000000;
// The end of a hold is left to the next break, so the work between two lines overlaps it.
constexpr qint64 lastStretchNs = 1000000;

void pause()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_ia32_pause();
#endif
}

} // namespace

lineSchedule::lineSchedule() : lineSchedule(std::unique_ptr<waitTimer>(new systemTimer)) {}

lineSchedule::lineSchedule(std::unique_ptr<waitTimer> timer) : timer(std::move(timer)) {}

lineSchedule::~lineSchedule() = default;

// Sleeps as close to the deadline as the system's recent sleeps allow, then spins: never returns before it.
void lineSchedule::waitUntil(qint64 deadlineNs)
{
    const qint64 now = timer->nowNs();
    const qint64 wakeNs = deadlineNs - sleepMarginNs(now);
    if (now < wakeNs)
        sleepNear(wakeNs);
    spinUntil(deadlineNs);
}

void lineSchedule::spinUntil(qint64 deadlineNs)
{
    qint64 now = timer->nowNs();
    if (now >= deadlineNs)
        return;
    while ((now = timer->nowNs()) < deadlineNs)
        pause();
    spinsCut[nextSpin] = now - deadlineNs > spinCutNs;
    nextSpin = (nextSpin + 1) % int(std::size(spinsCut));
    if (std::count(std::begin(spinsCut), std::end(spinsCut), true) >= crowdedSpins) {
        crowdedUntilNs = now + lateWakeMemoryNs;
        std::fill(std::begin(spinsCut), std::end(spinsCut), false);
    }
}

// Sleeps, and notes how late the sleep returned. One that returns early (Windows cuts a sleep to whole
// milliseconds, and one of less to none) tells nothing about how late the next may be.
void lineSchedule::sleepNear(qint64 targetNs)
{
    timer->sleepUntil(targetNs);
    const qint64 woke = timer->nowNs();
    if (woke >= targetNs) {
        lateWakes[nextLateWake] = {woke - targetNs, woke};
        nextLateWake = (nextLateWake + 1) % int(std::size(lateWakes));
    }
}

// The latest wake of the last sleeps, but no later than their median plus three times the median distance from
// it. A timer that wakes on ticks is late by anything up to a tick, evenly, and the fence lies beyond that; a fine
// timer on a busy machine is late by far more now and then, even in many of its sleeps, but not in most: past
// the fence. A spin would have been preempted as well, so a margin raised by those would only spin for nothing.
qint64 lineSchedule::sleepMarginNs(qint64 nowNs) const
{
    if (nowNs < crowdedUntilNs)
        return leastMarginNs;
    qint64 late[std::size(lateWakes)], distance[std::size(lateWakes)];
    int counted = 0;
    for (const lateWake &wake : lateWakes) {
        if (wake.atNs >= nowNs - lateWakeMemoryNs)
            late[counted++] = wake.byNs;
    }
    if (counted == 0)
        return leastMarginNs;
    std::sort(late, late + counted);
    const qint64 median = late[counted / 2];
    for (int i = 0; i < counted; ++i)
        distance[i] = qAbs(late[i] - median);
    std::nth_element(distance, distance + counted / 2, distance + counted);
    return qMax(leastMarginNs, qMin(late[counted - 1], median + 3 * distance[counted / 2]));
}

void lineSchedule::wait(quint32 microseconds)
{
    waitUntil(timer->nowNs() + qint64(microseconds) * 1000);
}

// A poll's lateness delays what it waits for: where the system's sleeps come back later than a fine timer's, the
// processor goes to whoever needs it, and the poll looks again at once.
void lineSchedule::nap(quint32 microseconds)
{
    const qint64 now = timer->nowNs();
    if (sleepMarginNs(now) > leastMarginNs)
        std::this_thread::yield();
    else
        sleepNear(now + qint64(microseconds) * 1000);
}

void lineSchedule::frameWritten(qint64 characters)
{
    bytesOutNs = timer->nowNs() + characters * dmx512::characterMicroseconds * 1000;
    nextBreakNs = bytesOutNs;
}

void lineSchedule::holdAfterFrame(quint32 milliseconds)
{
    nextBreakNs = bytesOutNs + qint64(milliseconds) * 1000000;
}

bool lineSchedule::sleepSliceOfHold()
{
    const qint64 now = timer->nowNs();
    const qint64 stretchStartNs = nextBreakNs - qMax(lastStretchNs, sleepMarginNs(now));
    if (now >= stretchStartNs)
        return false;
    sleepNear(qMin(stretchStartNs, now + holdSliceNs));
    return true;
}

void lineSchedule::waitForNextBreak()
{
    waitUntil(nextBreakNs);
}

void lineSchedule::waitForLastFrame()
{
    waitUntil(bytesOutNs);
}
