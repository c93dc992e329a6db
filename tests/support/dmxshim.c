/*
 * Preloaded into a test's process to make a pseudo terminal behave like a
 * USB DMX interface: DTR can be raised, every break, write and close is
 * logged with its monotonic time to $DMXSHIM_LOG, and faults come on demand:
 *   DMXSHIM_NO_DTR=1         raising DTR fails (set to anything)
 *   DMXSHIM_NO_BREAK=N       setting or clearing a break fails with errno N (25: ENOTTY)
 *   DMXSHIM_UNPLUG_AFTER=N   after N frames every call fails with EIO
 *   DMXSHIM_STUCK_AFTER=N    after N frames writes take no bytes
 *   DMXSHIM_WRITES_FAIL_AFTER=N  after N frames writes fail with EIO
 *   DMXSHIM_QUEUE_STUCK_AFTER=N  after N frames the output queue (TIOCOUTQ) never empties
 *   DMXSHIM_FAULTY=path      faults only on the port opened by that path
 * DMXSHIM_USB_DELAY_US=N makes the pty a USB adapter (docs/DEVELOPING.md tells how it behaves), seeded by
 * DMXSHIM_USB_SEED; DMXSHIM_USB_BREAK=polled waits for the chip as Linux does, DMXSHIM_USB_NO_OUTQ=1 fails TIOCOUTQ.
 * Only descriptors opened on /dev/pts/, or a link to it, are touched; and, with DMXSHIM_DEVICE=/dev/pts/N, any
 * descriptor of that device, however the process came by it (Wine's server opens a port and hands the program
 * its descriptor). No Qt in here.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))
#define MAX_FD 1024

struct port {
    int tracked, faulty, modemLines, frames;
    /* The adapter model: bytes on their way to the chip, and the chip busy with those since the last break. */
    long long queueEmptyNs, chipDoneNs;
    int queued, sinceBreak;
};
static struct port ports[MAX_FD];

static long long nowNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static int (*realOpen)(const char *, int, ...);
static int (*realClose)(int);
static ssize_t (*realWrite)(int, const void *, size_t);
static int (*realIoctl)(int, unsigned long, ...);
static int (*realNanosleep)(const struct timespec *, struct timespec *);
static int logFd = -1;

/* Other libraries may call us before our constructor would have run. */
static void resolve(void)
{
    if (realIoctl)
        return;
    realOpen = dlsym(RTLD_NEXT, "open64");
    realClose = dlsym(RTLD_NEXT, "close");
    realWrite = dlsym(RTLD_NEXT, "write");
    realIoctl = dlsym(RTLD_NEXT, "ioctl");
    realNanosleep = dlsym(RTLD_NEXT, "nanosleep");
}

static void logEvent(const char *what, int fd, long long startNs, const char *data, const unsigned char *bytes,
                     size_t length);

static struct port *trackedPort(int fd)
{
    if (fd < 0 || fd >= MAX_FD)
        return NULL;
    const char *device = getenv("DMXSHIM_DEVICE");
    struct stat wanted, given;
    if (!ports[fd].tracked && device && stat(device, &wanted) == 0 && fstat(fd, &given) == 0 && S_ISCHR(given.st_mode)
        && given.st_rdev == wanted.st_rdev) {
        ports[fd] = (struct port){.tracked = 1, .faulty = 1};
        logEvent("open", fd, nowNs(), device, NULL, 0);
    }
    return ports[fd].tracked ? &ports[fd] : NULL;
}

/* Whether the fault named is set and the port has had more frames than it says. */
static int after(const char *name, const struct port *port)
{
    const char *frames = getenv(name);
    return port->faulty && frames && *frames && port->frames > atoi(frames);
}

/* One write per line: lines of several threads or processes never mix. */
static void logEvent(const char *what, int fd, long long startNs, const char *data, const unsigned char *bytes,
                     size_t length)
{
    const char *path = getenv("DMXSHIM_LOG");
    if (!path)
        return;
    if (logFd < 0)
        logFd = realOpen(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    char *line = malloc(96 + strlen(data) + 2 * length);
    if (!line)
        return;
    int used = sprintf(line, "%s %d %d %lld %lld %s", what, (int)getpid(), fd, startNs, nowNs(), data);
    /* Quick: the program under test waits for this inside its own call. */
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        line[used++] = digits[bytes[i] >> 4];
        line[used++] = digits[bytes[i] & 15];
    }
    line[used++] = '\n';
    if (logFd >= 0 && realWrite(logFd, line, used) < 0) { }
    free(line);
}

/* The adapter model: the bound of a USB delay, 0 for a plain pty. */
static long long usbBoundNs(void)
{
    const char *bound = getenv("DMXSHIM_USB_DELAY_US");
    return bound ? atoll(bound) * 1000 : 0;
}

static long long usbDelayNs(void) /* xorshift64: the same delays on every run */
{
    static unsigned long long state;
    const char *seed = getenv("DMXSHIM_USB_SEED");
    if (!state)
        state = 0x9E3779B97F4A7C15ULL ^ (seed ? strtoull(seed, NULL, 10) : 1);
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    long long bound = usbBoundNs();
    return bound / 10 + (long long)(state % (unsigned long long)(bound - bound / 10 + 1));
}

static void sleepUntil(long long deadlineNs)
{
    struct timespec until = {deadlineNs / 1000000000LL, deadlineNs % 1000000000LL};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) { }
}

/* std::this_thread::sleep_until's way to sleep. */
EXPORT int nanosleep(const struct timespec *request, struct timespec *remaining)
{
    resolve();
    const char *tickUs = getenv("DMXSHIM_SLEEP_TICK_US");
    long long tick = tickUs ? atoll(tickUs) * 1000 : 0, wholeMs = request->tv_sec * 1000LL + request->tv_nsec / 1000000;
    if (tick <= 0)
        return realNanosleep(request, remaining);
    if (wholeMs > 0)
        sleepUntil(((nowNs() + wholeMs * 1000000) / tick + 1) * tick);
    return 0;
}


/* A start bit, the data bits, parity and the stop bits, at the speed of the kernel's termios2. */
static long long characterNs(int fd)
{
    struct { tcflag_t iflag, oflag, cflag, lflag; cc_t line, cc[19]; speed_t ispeed, ospeed; } t;
    if (realIoctl(fd, _IOR('T', 0x2A, t), &t) != 0 || t.ospeed == 0)
        return 44000;
    return (6 + (t.cflag & CSIZE) / CS6 + !!(t.cflag & PARENB) + (t.cflag & CSTOPB ? 2 : 1)) * 1000000000LL / t.ospeed;
}

/* TIOCOUTQ: what was written since the queue was last empty, until the last of it is with the chip. */
static int queuedBytes(const struct port *port)
{
    return nowNs() < port->queueEmptyNs ? port->queued : 0;
}

static void usbWrite(int fd, struct port *port, long long startNs, int bytes)
{
    long long arrivalNs = startNs + usbDelayNs();
    port->queued = queuedBytes(port) + bytes;
    if (arrivalNs > port->queueEmptyNs) /* else it waits for the transfers ahead of it */
        port->queueEmptyNs = arrivalNs;
    port->chipDoneNs = (port->queueEmptyNs > port->chipDoneNs ? port->queueEmptyNs : port->chipDoneNs)
                     + bytes * characterNs(fd);
    port->sinceBreak += bytes;
}

/* A break request returns once the adapter has it; what the chip has not sent by then is cut. */
static void usbBreak(int fd, struct port *port)
{
    const char *mode = getenv("DMXSHIM_USB_BREAK");
    if (mode && strcmp(mode, "polled") == 0) {
        sleepUntil(port->queueEmptyNs);
        for (const long long tickNs = 4000000; port->chipDoneNs > nowNs();)
            sleepUntil((nowNs() / tickNs + 1) * tickNs);
    }
    sleepUntil(nowNs() + usbDelayNs());
    long long setNs = nowNs(), characterTime = characterNs(fd);
    long long unsent = (port->chipDoneNs - setNs + characterTime - 1) / characterTime;
    if (unsent > 0) {
        char cut[24];
        sprintf(cut, "%lld", unsent < port->sinceBreak ? unsent : port->sinceBreak);
        logEvent("cut", fd, setNs, cut, NULL, 0);
    }
    port->queued = port->sinceBreak = 0;
    port->chipDoneNs = port->queueEmptyNs = setNs;
}

EXPORT int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(arguments, int) : 0;
    va_end(arguments);
    resolve();
    long long startNs = nowNs();
    int fd = realOpen(path, flags, mode);
    char device[PATH_MAX]; /* a link to a pty is that pty */
    if (fd >= 0 && fd < MAX_FD && strncmp(realpath(path, device) ? device : path, "/dev/pts/", 9) == 0) {
        const char *faulty = getenv("DMXSHIM_FAULTY");
        ports[fd] = (struct port){.tracked = 1, .faulty = !faulty || strcmp(faulty, path) == 0};
        logEvent("open", fd, startNs, path, NULL, 0);
    }
    return fd;
}

EXPORT int close(int fd)
{
    resolve();
    struct port *port = trackedPort(fd);
    if (port) {
        port->tracked = 0;
        logEvent("close", fd, nowNs(), "", NULL, 0);
    }
    if (fd == logFd && fd >= 0)
        logFd = -1; /* closed behind our back: open it again when needed */
    return realClose(fd);
}

EXPORT ssize_t write(int fd, const void *buffer, size_t count)
{
    resolve();
    struct port *port = trackedPort(fd);
    if (!port)
        return realWrite(fd, buffer, count);
    if (after("DMXSHIM_UNPLUG_AFTER", port) || after("DMXSHIM_WRITES_FAIL_AFTER", port)) {
        errno = EIO;
        return -1;
    }
    if (after("DMXSHIM_STUCK_AFTER", port))
        return 0;
    long long startNs = nowNs();
    ssize_t written = realWrite(fd, buffer, count);
    if (written > 0 && usbBoundNs() > 0)
        usbWrite(fd, port, startNs, (int)written);
    if (written > 0)
        logEvent("write", fd, startNs, "", buffer, (size_t)written);
    return written;
}

/* A pty has no modem lines: keep them here so DTR can be raised. */
static int modemLines(int fd, struct port *port, unsigned long request, int *bits)
{
    int lines = request == TIOCMSET ? *bits
              : request == TIOCMBIS ? port->modemLines | *bits
              : request == TIOCMBIC ? port->modemLines & ~*bits
                                    : port->modemLines;
    if (request == TIOCMGET) {
        *bits = lines;
        return 0;
    }
    if ((lines & TIOCM_DTR) && !(port->modemLines & TIOCM_DTR) && port->faulty && getenv("DMXSHIM_NO_DTR")) {
        errno = EIO;
        return -1;
    }
    if ((lines ^ port->modemLines) & TIOCM_DTR)
        logEvent("dtr", fd, nowNs(), lines & TIOCM_DTR ? "1" : "0", NULL, 0);
    port->modemLines = lines;
    return 0;
}

EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    resolve();
    struct port *port = trackedPort(fd);
    if (!port)
        return realIoctl(fd, request, argument);
    if (request == TIOCSBRK)
        ++port->frames;
    /* Giving up exclusive use still works: else only root could open the pty again. */
    if (after("DMXSHIM_UNPLUG_AFTER", port) && request != TIOCNXCL) {
        errno = EIO;
        return -1;
    }
    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC)
        return modemLines(fd, port, request, argument);
    const int breakRequest = request == TIOCSBRK || request == TIOCCBRK;
    if (breakRequest && port->faulty && getenv("DMXSHIM_NO_BREAK")) {
        errno = atoi(getenv("DMXSHIM_NO_BREAK"));
        return -1;
    }
    if (request == TIOCOUTQ && getenv("DMXSHIM_USB_NO_OUTQ")) {
        errno = ENOTTY;
        return -1;
    }
    if (request == TIOCOUTQ && (usbBoundNs() > 0 || after("DMXSHIM_QUEUE_STUCK_AFTER", port))) {
        *(int *)argument = after("DMXSHIM_QUEUE_STUCK_AFTER", port) ? 1 : queuedBytes(port);
        return 0;
    }
    long long startNs = nowNs();
    if (breakRequest && usbBoundNs() > 0)
        usbBreak(fd, port);
    int result = realIoctl(fd, request, argument);
    if (result == 0 && (request == TIOCSBRK || request == TIOCCBRK))
        logEvent(request == TIOCSBRK ? "break" : "mark", fd, startNs, "", NULL, 0);
    return result;
}
