#ifndef SLEEPINHIBITOR_H
#define SLEEPINHIBITOR_H

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVector>
#endif

// Keeps the computer awake for as long as it lives: a fixture left with half
// a firmware is worse than a laptop that did not sleep. Where the system
// will not or cannot, the update goes on all the same.
class sleepInhibitor
{
public:
    sleepInhibitor();
    ~sleepInhibitor();
    Q_DISABLE_COPY(sleepInhibitor)

#ifdef Q_OS_LINUX
private:
    void requestLock(const QString &what);

    // logind keeps a lock for as long as its descriptor is open.
    QVector<QDBusUnixFileDescriptor> locks;
    bool refusalReported = false;
    // Parent of the pending calls and destroyed first: a reply that comes
    // after the transfer is dropped, and its descriptor closed with it.
    QObject pendingCalls;
#endif
};

#endif // SLEEPINHIBITOR_H
