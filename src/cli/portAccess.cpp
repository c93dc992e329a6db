#include "portAccess.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX

namespace {

// Serial devices usually belong to dialout; say the group the device really has.
QString deviceGroup(const QByteArray &path)
{
    struct stat status{};
    const group *owner = stat(path.constData(), &status) == 0 ? getgrgid(status.st_gid) : nullptr;
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QStringLiteral("dialout");
}

} // namespace

portAccess checkPortAccess(const QString &systemLocation)
{
    const QByteArray path = QFile::encodeName(systemLocation);
    if (access(path.constData(), R_OK | W_OK) == 0)
        return {true, QString()};
    if (errno == ENOENT)
        return {false, QStringLiteral("the device is gone; was the adapter unplugged?")};
    const QString group = deviceGroup(path);
    return {false, QStringLiteral("no access: join the %1 group (sudo usermod -aG %1 \"$USER\") and log in again")
                       .arg(group)};
}

#else

portAccess checkPortAccess(const QString &)
{
    return {QJsonValue(), QString()};
}

#endif
