/*
 * Preloaded into test processes to turn a pseudo terminal into something
 * that behaves like a USB DMX interface: modem lines that can be raised,
 * a record of every break and write with its time, and faults on demand.
 *
 * Only descriptors opened on "/dev/pts/..." are looked at; every other call
 * goes straight to the C library after one array lookup. No Qt in here: the
 * library is loaded into every process a test starts, shells included.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

/* Must match dmxShim::event::kind. */
enum { EventOpen, EventClose, EventBreakOn, EventBreakOff, EventWrite, EventFailed };
static const char *const eventNames[] = { "open", "close", "break-on", "break-off", "write", "failed" };

#define MAX_TRACKED_FD 65536

struct event {
    int type;
    int fd;
    long long startNs;
    long long endNs;
    int result;
    int error;
    char call[16];
    unsigned char *bytes;
    size_t length;
};

/* Read without the lock on every write/ioctl/close of the process. */
static atomic_uchar tracked[MAX_TRACKED_FD];

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
/* Everything below is guarded by lock. */
static struct event *events;
static size_t eventCount;
static size_t eventCapacity;
static int lineState[MAX_TRACKED_FD];
static int lastDtr;
static int unplugAfterFrames = -1;
static int breaksSinceArmed;
static int unplugged;
static int failDtrErrno;
static int slowMaxBytes;
static int slowDelayUs;
static int failOpenErrno;
static char *logPath;
static atomic_int logFd = -1;

static int (*realOpen)(const char *, int, ...);
static int (*realOpen64)(const char *, int, ...);
static int (*realOpenat)(int, const char *, int, ...);
static int (*realOpenat64)(int, const char *, int, ...);
static int (*realClose)(int);
static ssize_t (*realWrite)(int, const void *, size_t);
static int (*realIoctl)(int, unsigned long, ...);

static void *nextSymbol(const char *name)
{
    void *symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        static const char message[] = "dmxshim: a C library function is missing\n";
        /* Nothing sensible can follow; say why rather than crash on a null call. */
        if (syscall(SYS_write, 2, message, sizeof message - 1) < 0) { }
        abort();
    }
    return symbol;
}

/* Other libraries' constructors may open files before ours has run. */
static void resolveSymbols(void)
{
    if (realIoctl)
        return;
    realOpen = nextSymbol("open");
    realOpen64 = nextSymbol("open64");
    realOpenat = nextSymbol("openat");
    realOpenat64 = nextSymbol("openat64");
    realClose = nextSymbol("close");
    realWrite = nextSymbol("write");
    realIoctl = nextSymbol("ioctl");
}

static long long nowNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static int isTracked(int fd)
{
    return fd >= 0 && fd < MAX_TRACKED_FD && atomic_load_explicit(&tracked[fd], memory_order_relaxed);
}

static int isPtsPath(const char *path)
{
    return path && strncmp(path, "/dev/pts/", 9) == 0;
}

static void writeLogLine(const struct event *e)
{
    if (!logPath)
        return;
    if (logFd < 0)
        logFd = realOpen(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0)
        return;
    size_t size = 160 + 2 * e->length;
    char *line = malloc(size);
    if (!line)
        return;
    int used = snprintf(line, size, "%s %lld %lld %d %d %d %d %s ", eventNames[e->type], e->startNs, e->endNs,
                        e->result, e->error, e->fd, (int)getpid(), e->call);
    static const char digits[] = "0123456789abcdef";
    if (e->length == 0)
        line[used++] = '-';
    for (size_t i = 0; i < e->length; ++i) {
        line[used++] = digits[e->bytes[i] >> 4];
        line[used++] = digits[e->bytes[i] & 15];
    }
    line[used++] = '\n';
    /* One write per line: O_APPEND keeps lines whole even when several processes log. */
    if (realWrite(logFd, line, used) < 0) { }
    free(line);
}

/* Called with lock held. */
static void record(int type, int fd, long long startNs, long long endNs, int result, int error, const char *call,
                   const void *bytes, size_t length)
{
    if (eventCount == eventCapacity) {
        size_t capacity = eventCapacity ? 2 * eventCapacity : 256;
        struct event *grown = realloc(events, capacity * sizeof *grown);
        if (!grown)
            return;
        events = grown;
        eventCapacity = capacity;
    }
    struct event *e = &events[eventCount];
    e->type = type;
    e->fd = fd;
    e->startNs = startNs;
    e->endNs = endNs;
    e->result = result;
    e->error = error;
    snprintf(e->call, sizeof e->call, "%s", call);
    e->bytes = NULL;
    e->length = 0;
    if (length > 0 && (e->bytes = malloc(length)) != NULL) {
        memcpy(e->bytes, bytes, length);
        e->length = length;
    }
    ++eventCount;
    writeLogLine(e);
}

static void clearEvents(void)
{
    for (size_t i = 0; i < eventCount; ++i)
        free(events[i].bytes);
    eventCount = 0;
}

static void disarmFaults(void)
{
    unplugAfterFrames = -1;
    breaksSinceArmed = 0;
    unplugged = 0;
    failDtrErrno = 0;
    slowMaxBytes = 0;
    slowDelayUs = 0;
    failOpenErrno = 0;
}

/* ---- opening and closing ---------------------------------------------- */

enum { CallOpen, CallOpen64, CallOpenat, CallOpenat64 };

static int callRealOpen(int which, int dirfd, const char *path, int flags, mode_t mode)
{
    switch (which) {
    case CallOpen: return realOpen(path, flags, mode);
    case CallOpen64: return realOpen64(path, flags, mode);
    case CallOpenat: return realOpenat(dirfd, path, flags, mode);
    default: return realOpenat64(dirfd, path, flags, mode);
    }
}

static int openThrough(int which, int dirfd, const char *path, int flags, mode_t mode)
{
    resolveSymbols();
    if (!isPtsPath(path))
        return callRealOpen(which, dirfd, path, flags, mode);

    long long startNs = nowNs();
    pthread_mutex_lock(&lock);
    /* An unplugged interface has vanished from /dev. */
    int injected = failOpenErrno ? failOpenErrno : (unplugged ? ENOENT : 0);
    if (injected) {
        record(EventFailed, -1, startNs, nowNs(), -1, injected, "open", path, strlen(path));
        pthread_mutex_unlock(&lock);
        errno = injected;
        return -1;
    }
    pthread_mutex_unlock(&lock);

    int fd = callRealOpen(which, dirfd, path, flags, mode);
    int error = errno;
    long long endNs = nowNs();

    pthread_mutex_lock(&lock);
    if (fd >= 0 && fd < MAX_TRACKED_FD) {
        lineState[fd] = 0;
        lastDtr = 0;
        atomic_store(&tracked[fd], 1);
        record(EventOpen, fd, startNs, endNs, fd, 0, "open", path, strlen(path));
    } else if (fd < 0) {
        record(EventFailed, -1, startNs, endNs, -1, error, "open", path, strlen(path));
    }
    pthread_mutex_unlock(&lock);
    errno = error;
    return fd;
}

static mode_t modeArgument(int flags, va_list arguments)
{
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE)
        return (mode_t)va_arg(arguments, int);
    return 0;
}

EXPORT int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openThrough(CallOpen, AT_FDCWD, path, flags, mode);
}

EXPORT int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openThrough(CallOpen64, AT_FDCWD, path, flags, mode);
}

EXPORT int openat(int dirfd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openThrough(CallOpenat, dirfd, path, flags, mode);
}

EXPORT int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openThrough(CallOpenat64, dirfd, path, flags, mode);
}

/* Fortified builds call these when the flags are not known at compile time. */
EXPORT int __open_2(const char *path, int flags) { return openThrough(CallOpen, AT_FDCWD, path, flags, 0); }
EXPORT int __open64_2(const char *path, int flags) { return openThrough(CallOpen64, AT_FDCWD, path, flags, 0); }
EXPORT int __openat_2(int dirfd, const char *path, int flags) { return openThrough(CallOpenat, dirfd, path, flags, 0); }
EXPORT int __openat64_2(int dirfd, const char *path, int flags)
{
    return openThrough(CallOpenat64, dirfd, path, flags, 0);
}

EXPORT int close(int fd)
{
    resolveSymbols();
    if (!isTracked(fd)) {
        if (fd >= 0 && fd == atomic_load_explicit(&logFd, memory_order_relaxed)) {
            /* The program closed our log behind our back; reopen on the next event. */
            pthread_mutex_lock(&lock);
            if (fd == logFd)
                logFd = -1;
            pthread_mutex_unlock(&lock);
        }
        return realClose(fd);
    }
    /* Untrack first: once closed, the number can be handed out again at once. */
    atomic_store(&tracked[fd], 0);
    long long startNs = nowNs();
    int result = realClose(fd);
    int error = errno;
    pthread_mutex_lock(&lock);
    record(EventClose, fd, startNs, nowNs(), result, result < 0 ? error : 0, "close", NULL, 0);
    pthread_mutex_unlock(&lock);
    errno = error;
    return result;
}

/* ---- writing ---------------------------------------------------------- */

static void sleepMicroseconds(int us)
{
    struct timespec delay = { us / 1000000, (long)(us % 1000000) * 1000 };
    while (nanosleep(&delay, &delay) < 0 && errno == EINTR) { }
}

EXPORT ssize_t write(int fd, const void *buffer, size_t count)
{
    resolveSymbols();
    if (!isTracked(fd))
        return realWrite(fd, buffer, count);

    pthread_mutex_lock(&lock);
    int isUnplugged = unplugged;
    int maxBytes = slowMaxBytes;
    int delayUs = slowDelayUs;
    if (isUnplugged) {
        long long now = nowNs();
        record(EventFailed, fd, now, now, -1, EIO, "write", buffer, count);
    }
    pthread_mutex_unlock(&lock);
    if (isUnplugged) {
        errno = EIO;
        return -1;
    }

    if (delayUs > 0)
        sleepMicroseconds(delayUs);
    if (maxBytes > 0 && count > (size_t)maxBytes)
        count = (size_t)maxBytes;

    long long startNs = nowNs();
    ssize_t written = realWrite(fd, buffer, count);
    int error = errno;
    long long endNs = nowNs();

    pthread_mutex_lock(&lock);
    if (written >= 0)
        record(EventWrite, fd, startNs, endNs, (int)written, 0, "write", buffer, (size_t)written);
    else
        record(EventFailed, fd, startNs, endNs, -1, error, "write", buffer, count);
    pthread_mutex_unlock(&lock);
    errno = error;
    return written;
}

/* ---- ioctl ------------------------------------------------------------ */

static const char *requestName(unsigned long request)
{
    switch (request) {
    case TIOCSBRK: return "TIOCSBRK";
    case TIOCCBRK: return "TIOCCBRK";
    case TIOCMGET: return "TIOCMGET";
    case TIOCMSET: return "TIOCMSET";
    case TIOCMBIS: return "TIOCMBIS";
    case TIOCMBIC: return "TIOCMBIC";
    case TIOCEXCL: return "TIOCEXCL";
    case TIOCNXCL: return "TIOCNXCL";
    default: return "ioctl";
    }
}

static void setLines(int fd, int state)
{
    lineState[fd] = state;
    lastDtr = (state & TIOCM_DTR) != 0;
}

/* A pty has no modem lines; keep them per descriptor so DTR can be raised. Called with lock held. */
static int modemLines(int fd, unsigned long request, int *bits, long long startNs)
{
    if (!bits) {
        record(EventFailed, fd, startNs, nowNs(), -1, EFAULT, requestName(request), NULL, 0);
        return EFAULT;
    }
    int wouldRaiseDtr = (request == TIOCMSET || request == TIOCMBIS) && (*bits & TIOCM_DTR)
        && !(lineState[fd] & TIOCM_DTR);
    if (wouldRaiseDtr && failDtrErrno) {
        record(EventFailed, fd, startNs, nowNs(), -1, failDtrErrno, requestName(request), NULL, 0);
        return failDtrErrno;
    }
    switch (request) {
    case TIOCMGET: *bits = lineState[fd]; break;
    case TIOCMSET: setLines(fd, *bits); break;
    case TIOCMBIS: setLines(fd, lineState[fd] | *bits); break;
    default: setLines(fd, lineState[fd] & ~*bits); break;
    }
    return 0;
}

static int isModemRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

static int trackedIoctl(int fd, unsigned long request, void *argument)
{
    long long startNs = nowNs();
    pthread_mutex_lock(&lock);
    if (request == TIOCSBRK && unplugAfterFrames >= 0 && breaksSinceArmed >= unplugAfterFrames)
        unplugged = 1;
    int handledHere = 1;
    int failure = 0;
    /* Releasing exclusive use still works, so the same pty can be opened again after a re-plug. */
    if (unplugged && request != TIOCNXCL) {
        failure = EIO;
        record(EventFailed, fd, startNs, nowNs(), -1, failure, requestName(request), NULL, 0);
    } else if (isModemRequest(request)) {
        failure = modemLines(fd, request, argument, startNs);
    } else {
        handledHere = 0;
    }
    pthread_mutex_unlock(&lock);
    if (handledHere) {
        if (!failure)
            return 0;
        errno = failure;
        return -1;
    }

    int result = realIoctl(fd, request, argument);
    int error = errno;
    long long endNs = nowNs();
    if (request == TIOCSBRK || request == TIOCCBRK) {
        pthread_mutex_lock(&lock);
        if (result < 0) {
            record(EventFailed, fd, startNs, endNs, result, error, requestName(request), NULL, 0);
        } else {
            record(request == TIOCSBRK ? EventBreakOn : EventBreakOff, fd, startNs, endNs, result, 0,
                   requestName(request), NULL, 0);
            if (request == TIOCSBRK)
                ++breaksSinceArmed;
        }
        pthread_mutex_unlock(&lock);
    }
    errno = error;
    return result;
}

EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    resolveSymbols();
    if (!isTracked(fd))
        return realIoctl(fd, request, argument);
    return trackedIoctl(fd, request, argument);
}

/* ---- control ---------------------------------------------------------- */

static int positiveOrZero(int value)
{
    return value > 0 ? value : 0;
}

EXPORT void dmxshim_reset(void)
{
    pthread_mutex_lock(&lock);
    clearEvents();
    disarmFaults();
    pthread_mutex_unlock(&lock);
}

EXPORT void dmxshim_unplug_after_frames(int frames)
{
    pthread_mutex_lock(&lock);
    unplugAfterFrames = frames < 0 ? -1 : frames;
    breaksSinceArmed = 0;
    unplugged = 0;
    pthread_mutex_unlock(&lock);
}

EXPORT void dmxshim_unplug_now(void)
{
    pthread_mutex_lock(&lock);
    unplugged = 1;
    pthread_mutex_unlock(&lock);
}

EXPORT void dmxshim_fail_dtr(int errnoValue)
{
    pthread_mutex_lock(&lock);
    failDtrErrno = positiveOrZero(errnoValue);
    pthread_mutex_unlock(&lock);
}

EXPORT void dmxshim_slow_writes(int maxBytesPerWrite, int delayMicroseconds)
{
    pthread_mutex_lock(&lock);
    slowMaxBytes = positiveOrZero(maxBytesPerWrite);
    slowDelayUs = positiveOrZero(delayMicroseconds);
    pthread_mutex_unlock(&lock);
}

EXPORT void dmxshim_fail_open(int errnoValue)
{
    pthread_mutex_lock(&lock);
    failOpenErrno = positiveOrZero(errnoValue);
    pthread_mutex_unlock(&lock);
}

EXPORT int dmxshim_dtr_raised(void)
{
    pthread_mutex_lock(&lock);
    int raised = lastDtr;
    pthread_mutex_unlock(&lock);
    return raised;
}

EXPORT long dmxshim_event_count(int type)
{
    long count = 0;
    pthread_mutex_lock(&lock);
    for (size_t i = 0; i < eventCount; ++i)
        count += events[i].type == type;
    pthread_mutex_unlock(&lock);
    return count;
}

typedef void (*dmxshim_visitor)(void *context, int type, int fd, long long startNs, long long endNs, int result,
                                int error, const char *call, const unsigned char *bytes, size_t length);

/* The visitor runs under the lock: it must not write to or ioctl a tracked descriptor. */
EXPORT void dmxshim_visit_events(dmxshim_visitor visit, void *context)
{
    pthread_mutex_lock(&lock);
    for (size_t i = 0; i < eventCount; ++i) {
        const struct event *e = &events[i];
        visit(context, e->type, e->fd, e->startNs, e->endNs, e->result, e->error, e->call, e->bytes, e->length);
    }
    pthread_mutex_unlock(&lock);
}

/* ---- start-up --------------------------------------------------------- */

static int environmentNumber(const char *name, int fallback)
{
    const char *text = getenv(name);
    if (!text || !*text)
        return fallback;
    char *end;
    long value = strtol(text, &end, 10);
    return *end ? fallback : (int)value;
}

/* A child forked while another thread held the lock would otherwise never get it. */
static void lockBeforeFork(void) { pthread_mutex_lock(&lock); }
static void unlockAfterFork(void) { pthread_mutex_unlock(&lock); }

__attribute__((constructor)) static void loadShim(void)
{
    resolveSymbols();
    pthread_atfork(lockBeforeFork, unlockAfterFork, unlockAfterFork);

    pthread_mutex_lock(&lock);
    const int frames = environmentNumber("DMXSHIM_UNPLUG_AFTER_FRAMES", -1);
    unplugAfterFrames = frames < 0 ? -1 : frames;
    const char *path = getenv("DMXSHIM_LOG");
    if (path && *path)
        logPath = strdup(path);
    pthread_mutex_unlock(&lock);
}
