#include "historyPlatform.h"

#include <QDir>
#include <QFileDevice>
#include <QStandardPaths>

#include <io.h>
#include <windows.h>

// %APPDATA%\orvana-firmware-updater: the roaming profile, whichever of the two programs asks.
QString historyFolder()
{
    const QString appData = qEnvironmentVariable("APPDATA");
    const QString base = appData.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                           : QDir::fromNativeSeparators(appData);
    return base + QStringLiteral("/orvana-firmware-updater");
}

bool syncToDisk(QFileDevice &file)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return file.flush() && handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}
