#ifndef LINETIMING_H
#define LINETIMING_H

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <time.h>
#endif

// Frame timing on the worker's thread.
//
// A plain sleep ends some time after its period: on Linux every thread has
// 50 us of timer slack, and waking up takes more, which would lengthen every
// break, mark and byte time of every frame. sleepUntil() sleeps towards a
// deadline and spins the last stretch, so it ends on the deadline, never
// before it.
namespace lineTiming {

// Waking from a sleep with 1 ns of timer slack takes up to a few tens of
// microseconds on most machines; spin for those.
constexpr qint64 spinNanoseconds = 50000;

inline qint64 nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace detail {

inline void useFineTimerSlack()
{
#ifdef Q_OS_LINUX
    thread_local bool fine = false;
    if (!fine) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        fine = true;
    }
#endif
}

inline void spinPause()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_ia32_pause();
#endif
}

} // namespace detail

// Returns at deadlineNs (on the nowNs() clock) or a little after it.
inline void sleepNear(qint64 deadlineNs)
{
    detail::useFineTimerSlack();
    if (nowNs() >= deadlineNs)
        return;
#ifdef Q_OS_LINUX
    // steady_clock is CLOCK_MONOTONIC on Linux.
    const timespec deadline = {time_t(deadlineNs / 1000000000), long(deadlineNs % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) { }
#else
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineNs)));
#endif
}

// Returns at deadlineNs, never before it.
inline void sleepUntil(qint64 deadlineNs)
{
    sleepNear(deadlineNs - spinNanoseconds);
    while (nowNs() < deadlineNs)
        detail::spinPause();
}

} // namespace lineTiming

// When the line may carry the next break.
//
// write() returns once a frame's bytes are queued, and they still need their
// character time on the line. Instead of sleeping that time away at once, the
// worker notes when the bytes are out and waits for it just before the next
// break; the same goes for the hold after a line. Whatever the transfer does
// in between (delivering events, debug lines, reading the next line) then
// overlaps the time the line needs anyway instead of adding to it.
class lineSchedule
{
public:
    lineSchedule() = default;
    // The port closes after this, with the worker's children: let the last
    // frame leave whole first.
    ~lineSchedule() { lineTiming::sleepUntil(bytesOutNs); }

    void frameWritten(qint64 characters, qint64 characterMicroseconds)
    {
        bytesOutNs = lineTiming::nowNs() + characters * characterMicroseconds * 1000;
        nextBreakNs = bytesOutNs;
    }
    void holdAfterFrame(quint32 milliseconds) { nextBreakNs = bytesOutNs + qint64(milliseconds) * 1000000; }

    qint64 nextBreakAtNs() const { return nextBreakNs; }
    void waitForNextBreak() const { lineTiming::sleepUntil(nextBreakNs); }

private:
    Q_DISABLE_COPY(lineSchedule)

    qint64 bytesOutNs = 0;
    qint64 nextBreakNs = 0;
};

#endif // LINETIMING_H
