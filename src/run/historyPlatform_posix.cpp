#include "historyPlatform.h"

#include <QFileDevice>
#include <QStandardPaths>

#include <unistd.h>

// ~/.local/share/orvana-firmware-updater, or under $XDG_DATA_HOME.
QString historyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/orvana-firmware-updater");
}

bool syncToDisk(QFileDevice &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
}
