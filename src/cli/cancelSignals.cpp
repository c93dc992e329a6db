#include "cancelSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void restoreDefaults()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void onCancelSignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    // Nothing to do if the pipe is full: a cancel is on its way already.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

cancelSignals::cancelSignals(QObject *parent) : QObject(parent)
{
    if (pipe(signalPipe) != 0)
        return;
    for (const int end : signalPipe) {
        fcntl(end, F_SETFL, O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &cancelSignals::readPipe);
    struct sigaction action{};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

cancelSignals::~cancelSignals()
{
    if (!notifier)
        return;
    restoreDefaults();
    delete notifier;
    close(signalPipe[0]);
    close(signalPipe[1]);
}

void cancelSignals::readPipe()
{
    char byte = 0;
    while (read(signalPipe[0], &byte, 1) == 1) {
    }
    restoreDefaults();
    emit cancelRequested();
}

#else

cancelSignals::cancelSignals(QObject *parent) : QObject(parent)
{
}

cancelSignals::~cancelSignals() = default;

void cancelSignals::readPipe()
{
}

#endif
