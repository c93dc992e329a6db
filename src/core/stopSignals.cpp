#include "stopSignals.h"

#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t lastSignal = 0;
volatile std::sig_atomic_t signalCount = 0;
const int caughtSignals[] = {SIGINT, SIGTERM,
#ifdef SIGHUP
                             SIGHUP
#endif
};

#ifdef Q_OS_UNIX
int wakeUp[2] = {-1, -1}; // the handler writes the signal's number, the event loop reads it

void note(int number)
{
    // Asked twice, the operator means it; SIGTERM and SIGHUP keep stopping at a frame boundary.
    if (number == SIGINT)
        std::signal(SIGINT, SIG_DFL);
    lastSignal = number;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (write(wakeUp[1], &byte, 1) < 0) {
        // The pipe is full of earlier signals: lastSignal still tells.
    }
}

void install(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART; // a read of piped input goes on
    sigemptyset(&action.sa_mask);
    for (const int number : caughtSignals)
        sigaction(number, &action, nullptr);
}
#else
void note(int number)
{
    if (number == SIGINT)
        std::signal(SIGINT, SIG_DFL);
    else
        std::signal(number, note);
    lastSignal = number;
    signalCount = signalCount + 1;
}
#endif

} // namespace

stopSignals::stopSignals(QObject *parent) : QObject(parent)
{
    lastSignal = 0;
#ifdef Q_OS_UNIX
    if (pipe(wakeUp) == 0) {
        for (const int end : wakeUp)
            fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
        for (const int end : wakeUp)
            fcntl(end, F_SETFD, FD_CLOEXEC);
        notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &stopSignals::takeCaughtSignals);
    }
    install(note);
#else
    for (const int number : caughtSignals)
        std::signal(number, note);
    poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &stopSignals::takeCaughtSignals);
    poll->start(20);
#endif
}

stopSignals::~stopSignals()
{
#ifdef Q_OS_UNIX
    install(SIG_DFL);
    delete notifier;
    for (int &end : wakeUp) {
        if (end >= 0)
            close(end);
        end = -1;
    }
#else
    for (const int number : caughtSignals)
        std::signal(number, SIG_DFL);
#endif
}

int stopSignals::lastCaught()
{
    return lastSignal;
}

QString stopSignals::name(int signalNumber)
{
    if (signalNumber == SIGINT)
        return QStringLiteral("Ctrl-C");
    if (signalNumber == SIGTERM)
        return QStringLiteral("SIGTERM");
    return QStringLiteral("SIGHUP");
}

void stopSignals::takeCaughtSignals()
{
#ifdef Q_OS_UNIX
    unsigned char number = 0;
    while (read(wakeUp[0], &number, 1) == 1)
        emit signalCaught(number);
#else
    static std::sig_atomic_t seen = 0;
    for (; seen != signalCount; ++seen)
        emit signalCaught(lastSignal);
#endif
}
