#ifndef SLEEPINHIBITOR_H
#define SLEEPINHIBITOR_H

#include <QString>
#include <QtGlobal>

#include <functional>

#ifdef Q_OS_LINUX
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVector>
#endif

// Keeps the computer awake for as long as it lives: a fixture left with half
// a firmware is worse than a laptop that did not sleep. Where the system
// will not or cannot, the update goes on all the same, and 'refused' is
// told why (once, at once or when the system answers).
class sleepInhibitor
{
public:
    using refusalHandler = std::function<void(const QString &reason)>;
    explicit sleepInhibitor(refusalHandler refused);
    ~sleepInhibitor();
    Q_DISABLE_COPY(sleepInhibitor)

#ifdef Q_OS_LINUX
private:
    void requestLock(const QString &what);

    // logind keeps a lock for as long as its descriptor is open.
    QVector<QDBusUnixFileDescriptor> locks;
    refusalHandler refused;
    bool refusalReported = false;
    // Parent of the pending calls and destroyed first: a reply that comes
    // after the transfer is dropped, and its descriptor closed with it.
    QObject pendingCalls;
#endif
};

#endif // SLEEPINHIBITOR_H
