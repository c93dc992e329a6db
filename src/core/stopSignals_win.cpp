#include "stopSignals.h"

#include <atomic>
#include <mutex>

#include <windows.h>

namespace {

// The console's events count from 0, Ctrl-C; a stop is never 0.
constexpr int stopFor(DWORD event)
{
    return int(event) + 1;
}

std::atomic<int> lastStop{0};
std::atomic<bool> interrupted{false};
std::mutex listenerLock;
stopSignals *listener = nullptr; // the object alive now, if any

// Called on a thread of Windows' own.
bool tell(int stop)
{
    const std::lock_guard<std::mutex> lock(listenerLock);
    if (!listener)
        return false;
    lastStop = stop;
    // Queued to the object's thread; dropped with the object if it goes first.
    stopSignals *told = listener;
    QMetaObject::invokeMethod(told, [told, stop] { emit told->signalCaught(stop); }, Qt::QueuedConnection);
    return true;
}

// After a close, logoff or shutdown Windows ends the process once this returns, or a few seconds after it was
// told: held here, the program reaches a frame boundary and ends by itself first.
[[noreturn]] void holdUntilTheProgramEnds()
{
    for (;;)
        Sleep(INFINITE);
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    // Asked twice, the operator means it: Windows' own handler ends the program.
    if (event == CTRL_C_EVENT && interrupted.exchange(true))
        return FALSE;
    if (!tell(stopFor(event)))
        return FALSE;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        holdUntilTheProgramEnds();
    return TRUE;
}

// A console program that loads user32, as Qt does, is told of logoff and shutdown only through a top-level
// window of its own, not through its console handler.
LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION && wParam && tell(stopFor(lParam & ENDSESSION_LOGOFF ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT)))
        holdUntilTheProgramEnds();
    return DefWindowProcW(window, message, wParam, lParam);
}

// Its messages are dispatched on a thread of their own, which lives as long as the process.
DWORD WINAPI watchSession(void *)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = onSessionMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"OrvanaStopSignals";
    RegisterClassW(&windowClass);
    if (!CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                         windowClass.hInstance, nullptr))
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

} // namespace

stopSignals::stopSignals(QObject *parent) : QObject(parent)
{
    static std::once_flag sessionWatched;
    std::call_once(sessionWatched, [] {
        if (HANDLE thread = CreateThread(nullptr, 0, watchSession, nullptr, 0, nullptr))
            CloseHandle(thread);
    });
    {
        const std::lock_guard<std::mutex> lock(listenerLock);
        listener = this;
        lastStop = 0;
        interrupted = false;
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

stopSignals::~stopSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard<std::mutex> lock(listenerLock);
    listener = nullptr;
}

int stopSignals::lastCaught()
{
    return lastStop;
}

QString stopSignals::name(int stop)
{
    switch (stop - 1) {
    case CTRL_C_EVENT: return QStringLiteral("Ctrl-C");
    case CTRL_BREAK_EVENT: return QStringLiteral("Ctrl-Break");
    case CTRL_CLOSE_EVENT: return QStringLiteral("Console closed");
    case CTRL_LOGOFF_EVENT: return QStringLiteral("Logoff");
    default: return QStringLiteral("Shutdown");
    }
}

bool stopSignals::isInterrupt(int stop)
{
    return stop == stopFor(CTRL_C_EVENT);
}

QString stopSignals::ways()
{
    return QStringLiteral("Ctrl-C, Ctrl-Break, closing the console window, logoff or shutdown");
}
