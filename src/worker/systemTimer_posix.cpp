#include "systemTimer.h"

#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

struct systemTimer::platform
{
};

systemTimer::systemTimer() = default;
systemTimer::~systemTimer() = default;

qint64 systemTimer::nowNs()
{
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

void systemTimer::sleepUntil(qint64 deadlineNs)
{
#ifdef Q_OS_LINUX
    // Linux gives every thread 50 us of timer slack, which would lengthen every break, mark and byte time of every
    // frame; set on the thread that sleeps.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineNs)));
}
