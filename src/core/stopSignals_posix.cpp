#include "stopSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t lastSignal = 0;
const int caughtSignals[] = {SIGINT, SIGTERM, SIGHUP};
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

} // namespace

stopSignals::stopSignals(QObject *parent) : QObject(parent)
{
    lastSignal = 0;
    if (pipe(wakeUp) == 0) {
        for (const int end : wakeUp) {
            fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
            fcntl(end, F_SETFD, FD_CLOEXEC);
        }
        notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            unsigned char number = 0;
            while (read(wakeUp[0], &number, 1) == 1)
                emit signalCaught(number);
        });
    }
    install(note);
}

stopSignals::~stopSignals()
{
    install(SIG_DFL);
    delete notifier;
    for (int &end : wakeUp) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

int stopSignals::lastCaught()
{
    return lastSignal;
}

QString stopSignals::name(int stop)
{
    if (stop == SIGINT)
        return QStringLiteral("Ctrl-C");
    return stop == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGHUP");
}

bool stopSignals::isInterrupt(int stop)
{
    return stop == SIGINT;
}

QString stopSignals::ways()
{
    return QStringLiteral("Ctrl-C, SIGTERM or SIGHUP");
}
