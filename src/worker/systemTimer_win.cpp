#include "systemTimer.h"

#include <mutex>

#include <windows.h>
#include <mmsystem.h>

// Windows 10 1803 and later; older MinGW headers do not name it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// Windows 11 ignores a hidden or minimized window's timer requests unless told otherwise. Process-wide, so told
// while any transfer runs; looked up at run time, since Windows 7 has no SetProcessInformation.
void keepTimerWhileHidden(bool keep)
{
    static std::mutex lock;
    static int transfers = 0;
    const std::lock_guard<std::mutex> locked(lock);
    transfers += keep ? 1 : -1;
    if (transfers != (keep ? 1 : 0))
        return;
    using setter = BOOL(WINAPI *)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const auto setProcessInformation = reinterpret_cast<setter>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    // A mask of 0 gives the choice back to the system. Before Windows 11 the call fails and changes nothing.
    PROCESS_POWER_THROTTLING_STATE state{PROCESS_POWER_THROTTLING_CURRENT_VERSION,
                                         keep ? ULONG(PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION) : 0UL, 0UL};
    if (setProcessInformation)
        setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

} // namespace

struct systemTimer::platform
{
    HANDLE timer = nullptr;
    bool periodRaised = false;
};

// At the default resolution of 15.6 ms every sleep would end on the next tick of the system's timer.
systemTimer::systemTimer() : system(new platform)
{
    system->timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!system->timer) {
        // Before Windows 10 1803: the whole system's timer at 1 ms, for as long as the transfer runs.
        system->periodRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
        system->timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    keepTimerWhileHidden(true);
}

systemTimer::~systemTimer()
{
    keepTimerWhileHidden(false);
    if (system->timer)
        CloseHandle(system->timer);
    if (system->periodRaised)
        timeEndPeriod(1);
}

qint64 systemTimer::nowNs()
{
    static const qint64 ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return qint64(frequency.QuadPart);
    }();
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    // In two steps: ticks times 10^9 would overflow after a few weeks of uptime.
    const qint64 seconds = ticks.QuadPart / ticksPerSecond;
    return seconds * 1000000000 + (ticks.QuadPart - seconds * ticksPerSecond) * 1000000000 / ticksPerSecond;
}

void systemTimer::sleepUntil(qint64 deadlineNs)
{
    const qint64 hundredsOfNs = (deadlineNs - nowNs()) / 100;
    if (hundredsOfNs <= 0)
        return;
    LARGE_INTEGER due;
    due.QuadPart = -hundredsOfNs; // negative: from now
    if (system->timer && SetWaitableTimer(system->timer, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(system->timer, INFINITE);
    else
        Sleep(DWORD(hundredsOfNs / 10000)); // under a millisecond: the rest of the time slice to another thread
}
