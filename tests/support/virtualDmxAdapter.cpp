#include "virtualDmxAdapter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

virtualDmxAdapter::virtualDmxAdapter()
{
    char name[128] = {};
    if (openpty(&masterFd, &slaveFd, name, nullptr, nullptr) < 0) {
        masterFd = slaveFd = -1;
        return;
    }
    slavePath = QString::fromLocal8Bit(name);

    // Bytes must reach the master unchanged: no LF to CR LF, no echo.
    termios settings;
    if (tcgetattr(slaveFd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(slaveFd, TCSANOW, &settings);
    }
    fcntl(masterFd, F_SETFD, FD_CLOEXEC);
    fcntl(slaveFd, F_SETFD, FD_CLOEXEC);
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) < 0) {
        close(masterFd);
        close(slaveFd);
        masterFd = slaveFd = -1;
        return;
    }
    wakeRead = wake[0];
    wakeWrite = wake[1];

    drainThread.reset(QThread::create([this] { drain(); }));
    drainThread->start();
}

virtualDmxAdapter::~virtualDmxAdapter()
{
    if (drainThread) {
        const char stop = 's';
        while (write(wakeWrite, &stop, 1) < 0 && errno == EINTR) { }
        drainThread->wait();
    }
    for (int fd : { masterFd, slaveFd, wakeRead, wakeWrite }) {
        if (fd >= 0)
            close(fd);
    }
}

bool virtualDmxAdapter::isValid() const
{
    return drainThread != nullptr;
}

QString virtualDmxAdapter::portName() const
{
    return slavePath;
}

QByteArray virtualDmxAdapter::received() const
{
    QMutexLocker locker(&mutex);
    return bytes;
}

bool virtualDmxAdapter::waitForReceived(int byteCount, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QCoreApplication *application = QCoreApplication::instance();
    const bool deliverEvents = application && application->thread() == QThread::currentThread();
    QMutexLocker locker(&mutex);
    while (bytes.size() < byteCount) {
        if (deadline.hasExpired())
            return false;
        if (deliverEvents) {
            locker.unlock();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            locker.relock();
            const qint64 sliceMs = deadline.isForever() ? 5 : qBound<qint64>(0, deadline.remainingTime(), 5);
            bytesArrived.wait(&mutex, QDeadlineTimer(sliceMs));
        } else {
            bytesArrived.wait(&mutex, deadline);
        }
    }
    return true;
}

void virtualDmxAdapter::clearReceived()
{
    QMutexLocker locker(&mutex);
    bytes.clear();
}

void virtualDmxAdapter::drain()
{
    for (;;) {
        pollfd watched[2] = { { masterFd, POLLIN, 0 }, { wakeRead, POLLIN, 0 } };
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[1].revents)
            return;
        // POLLHUP or EIO means nobody holds the slave side; wait for the next user.
        if (!readAvailable())
            pauseUnlessStopping();
    }
}

bool virtualDmxAdapter::readAvailable()
{
    char chunk[4096];
    for (;;) {
        const ssize_t count = read(masterFd, chunk, sizeof chunk);
        if (count > 0) {
            QMutexLocker locker(&mutex);
            bytes.append(chunk, int(count));
            bytesArrived.wakeAll();
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void virtualDmxAdapter::pauseUnlessStopping()
{
    pollfd wake = { wakeRead, POLLIN, 0 };
    poll(&wake, 1, 10);
}
