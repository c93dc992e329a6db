#include "onceReadInput.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

onceReadInput::~onceReadInput()
{
    if (owned)
        ::close(int(handle));
}

bool onceReadInput::open()
{
    owned = name != QLatin1String("-");
    // A FIFO opened without O_NONBLOCK would wait in open() for a writer, where no stop request is seen.
    const int descriptor = owned ? ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : STDIN_FILENO;
    if (descriptor < 0) {
        failure = QString::fromLocal8Bit(std::strerror(errno));
        owned = false;
        return false;
    }
    if (owned)
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    handle = descriptor;
    return true;
}

qint64 onceReadInput::read(char *data, qint64 size, const std::function<bool()> &stopRequested)
{
    pollfd ready{int(handle), POLLIN, 0};
    for (;;) {
        if (stopRequested && stopRequested()) {
            stopped = true;
            return 0;
        }
        // A signal ends the wait at once, whatever the handler's flags: Qt would retry a read it interrupts.
        ready.revents = 0;
        const int result = poll(&ready, 1, 100);
        if (result > 0 || (result < 0 && errno != EINTR))
            break;
    }
    const qint64 length = ::read(int(handle), data, size_t(size));
    if (length < 0)
        failure = QString::fromLocal8Bit(std::strerror(errno));
    return length;
}
