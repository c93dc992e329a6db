#ifndef DMXSHIM_H
#define DMXSHIM_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cerrno>

// Test-side control of the preloaded dmxshim library, which watches every
// descriptor opened on /dev/pts/... Without the preload every call is a
// no-op and events() stays empty; check isLoaded() first.
namespace dmxShim {

bool isLoaded();

// Clears events and disarms every fault. Line states of open descriptors stay.
void reset();

// The (frames+1)-th break since arming, and every later write and ioctl on a
// watched descriptor, fails with EIO; opening a pty then fails with ENOENT
// until this is disarmed (-1) or reset(). 0 fails the very next break.
void unplugAfterFrames(int frames);
void unplugNow();

// Raising DTR from low (TIOCMBIS or TIOCMSET with DTR set) fails with
// errnoValue; 0 disarms. Every newly opened pty starts with DTR low.
void failDtr(int errnoValue = EIO);

// Each write sleeps delayMicroseconds and then writes at most maxBytesPerWrite
// bytes, so writers meet partial writes. (0, 0) disarms.
void slowWrites(int maxBytesPerWrite, int delayMicroseconds);

// Opening a pty fails with errnoValue (EACCES, EBUSY, ENOENT ...); 0 disarms.
void failOpen(int errnoValue);

struct event {
    enum kind { Open, Close, BreakOn, BreakOff, Write, Failed };
    kind type = Failed;
    qint64 startNs = 0;   // CLOCK_MONOTONIC at entry of the call
    qint64 endNs = 0;     // CLOCK_MONOTONIC when the call returned
    // Write: the bytes actually written. Open: the path. Failed write: the bytes offered.
    QByteArray bytes;
    int result = 0;       // return value of the call
    int error = 0;        // errno when it failed, else 0
    QByteArray call;      // "open", "close", "write", "TIOCSBRK", "TIOCMBIS", ...
    int fd = -1;
    qint64 pid = 0;       // process that made the call
};

// A copy of every event since the last reset(), in the order they completed.
QVector<event> events();
int eventCount(event::kind type);
// Waits until at least count events of the kind exist, delivering the calling
// thread's events meanwhile.
bool waitForEvents(event::kind type, int count, int timeoutMs);

// DTR as last set on a watched descriptor; opening one counts as lowering it.
bool dtrRaised();

// Events that a process started with DMXSHIM_LOG=path wrote, in file order.
QVector<event> readLog(const QString &path);

QString kindName(event::kind type);

} // namespace dmxShim

#endif // DMXSHIM_H
