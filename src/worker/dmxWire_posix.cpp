#include "dmxWire.h"

#include <cerrno>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

// The library's lock file goes by the name the port was opened by, and root ignores the exclusive-use mark: an
// updater reaching the adapter through a link would write to the same line. This lock is on the device itself.
bool dmxWire::lockDevice()
{
    return flock(int(port.handle()), LOCK_EX | LOCK_NB) == 0;
}

// Linux 6.5 and later answer ENOTTY where the driver has no break, other drivers EINVAL or EOPNOTSUPP, and an
// adapter that stalls the request EPIPE. Qt names only the first two, so the answer is read here.
dmxWire::breakSupport dmxWire::driverBreakSupport()
{
    if (ioctl(int(port.handle()), TIOCCBRK) == 0)
        return breakSupport::present;
    if (errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP || errno == EPIPE)
        return breakSupport::absent;
    return breakSupport::unknown;
}

qint64 dmxWire::outputQueueBytes() const
{
#ifdef TIOCOUTQ
    int queued = 0;
    return ioctl(int(port.handle()), TIOCOUTQ, &queued) == 0 ? queued : -1;
#else
    return -1;
#endif
}
