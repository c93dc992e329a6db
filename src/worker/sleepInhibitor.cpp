#include "sleepInhibitor.h"

#ifdef Q_OS_WIN
#include <windows.h>

// Per thread: the transfer's own thread holds it for the whole transfer. It holds off the idle timer only: the
// operator is told that the lid and the Sleep button still put the computer to sleep.
sleepInhibitor::sleepInhibitor(refusalHandler refused)
{
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0)
        refused(QStringLiteral("Windows did not take the request to stay awake"));
    else
        refused(QStringLiteral("Windows holds off only the idle timer: closing the lid or pressing the Sleep button "
                               "can still put the computer to sleep"));
}

sleepInhibitor::~sleepInhibitor()
{
    SetThreadExecutionState(ES_CONTINUOUS);
}

#elif defined(Q_OS_LINUX)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>

sleepInhibitor::sleepInhibitor(refusalHandler refused) : refused(std::move(refused))
{
    if (!QDBusConnection::systemBus().isConnected()) {
        const QString reason = QStringLiteral("no system bus: ") + QDBusConnection::systemBus().lastError().message();
        qDebug() << "Sleep not inhibited," << reason;
        this->refused(reason);
        return;
    }
    requestLock(QStringLiteral("sleep:idle"));
    // Asked for apart: a system that keeps the lid switch to itself must not cost the sleep lock.
    requestLock(QStringLiteral("handle-lid-switch"));
}

sleepInhibitor::~sleepInhibitor() = default;

void sleepInhibitor::requestLock(const QString &what)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << what << QStringLiteral("Orvana Firmware Updater") << QStringLiteral("Updating fixture firmware")
         << QStringLiteral("block");
    // Not waited for: the first frame goes out while logind answers, and the reply arrives between frames.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), &pendingCalls);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, what](QDBusPendingCallWatcher *reply) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> lock = *reply;
        if (lock.isValid()) {
            locks.append(lock.value());
        } else if (!refusalReported) {
            // Without logind both calls fail alike; once says it.
            refusalReported = true;
            qDebug() << "Not inhibited:" << what << lock.error().message();
            refused(QStringLiteral("logind refused to hold off sleep: ") + lock.error().message());
        }
        reply->deleteLater();
    });
}

#else
sleepInhibitor::sleepInhibitor(refusalHandler refused)
{
    refused(QStringLiteral("this system offers no way to hold off sleep"));
}
sleepInhibitor::~sleepInhibitor() = default;
#endif
