#include "serialPortAdvice.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString portLocation(const QString &name)
{
#ifdef Q_OS_UNIX
    if (!name.startsWith(QLatin1Char('/')) && !name.startsWith(QLatin1String("./")) && !name.startsWith(QLatin1String("../")))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

QString portIdentity(const QString &name)
{
#ifdef Q_OS_UNIX
    const QFileInfo location(portLocation(name));
    return location.exists() ? location.canonicalFilePath() : location.absoluteFilePath();
#else
    // COM5 is no file, and a path made of it would depend on the folder the program was started in.
    return portLocation(name);
#endif
}

QString breakAdvice()
{
    return QStringLiteral("choose an interface whose adapter can send a break: CH340 and CH341 adapters, and the second "
                          "port of a CP2105, cannot");
}

QString portErrorAdvice(int error, const QString &systemLocation)
{
    if (error != QSerialPort::PermissionError)
        return QString();
    const QString access = portAccessHint(systemLocation);
    return access.isEmpty() ? QStringLiteral("another program holds the interface: another update, a console or a terminal program")
                            : access;
}

#ifdef Q_OS_LINUX

QString portAccessHint(const QString &systemLocation)
{
    const QByteArray path = QFile::encodeName(systemLocation);
    struct stat status{};
    if (access(path.constData(), R_OK | W_OK) == 0)
        return QString();
    if (errno == ENOENT || stat(path.constData(), &status) != 0)
        return QStringLiteral("the device is gone; was the adapter unplugged?");
    // A group helps only where it may read and write the device.
    const group *owningGroup = getgrgid(status.st_gid);
    if ((status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && owningGroup)
        return QStringLiteral("no access: join the %1 group (sudo usermod -aG %1 \"$USER\") and log in again")
            .arg(QString::fromLocal8Bit(owningGroup->gr_name));
    const passwd *owner = getpwuid(status.st_uid);
    return QStringLiteral("no access: only %1 may open it (mode %2); ask for a udev rule that gives it to a group")
        .arg(owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(status.st_uid))
        .arg(status.st_mode & 0777, 3, 8, QLatin1Char('0'));
}

#else

QString portAccessHint(const QString &)
{
    return QString();
}

#endif
