#include "lineSchedule.h"

#include "dmx512.h"

#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

// Waking from a sleep with 1 ns of timer slack takes up to a few tens of
// microseconds on most machines; spin for those.
constexpr qint64 spinNs = 50000;
// Short enough that a cancel during a long hold is seen at once.
constexpr qint64 holdSliceNs = 5000000;
// The end of a hold is left to the next break, so the work between two
// lines overlaps it.
constexpr qint64 lastStretchNs = 1000000;

qint64 nowNs()
{
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// Returns at the deadline or a little after it.
void sleepNear(qint64 deadlineNs)
{
#ifdef Q_OS_LINUX
    // Linux gives every thread 50 us of timer slack, which would lengthen
    // every break, mark and byte time of every frame.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineNs)));
}

// Returns at the deadline, never before it.
void sleepUntil(qint64 deadlineNs)
{
    sleepNear(deadlineNs - spinNs);
    while (nowNs() < deadlineNs) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        __builtin_ia32_pause();
#endif
    }
}

} // namespace

void lineSchedule::wait(quint32 microseconds)
{
    sleepUntil(nowNs() + qint64(microseconds) * 1000);
}

void lineSchedule::nap(quint32 microseconds)
{
    sleepNear(nowNs() + qint64(microseconds) * 1000);
}

void lineSchedule::frameWritten(qint64 characters)
{
    bytesOutNs = nowNs() + characters * dmx512::characterMicroseconds * 1000;
    nextBreakNs = bytesOutNs;
}

void lineSchedule::holdAfterFrame(quint32 milliseconds)
{
    nextBreakNs = bytesOutNs + qint64(milliseconds) * 1000000;
}

bool lineSchedule::sleepSliceOfHold()
{
    const qint64 stretchStartNs = nextBreakNs - lastStretchNs;
    const qint64 now = nowNs();
    if (now >= stretchStartNs)
        return false;
    sleepNear(qMin(stretchStartNs, now + holdSliceNs));
    return true;
}

void lineSchedule::waitForNextBreak() const
{
    sleepUntil(nextBreakNs);
}

void lineSchedule::waitForLastFrame() const
{
    sleepUntil(bytesOutNs);
}
