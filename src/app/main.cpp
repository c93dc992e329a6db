#include <QApplication>

#include "fixtureSoftwareUpdater.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Beside the program, where an installed copy keeps its libraries: the working
    // directory holds the update files, and a bundle could bring a "dll" folder.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/dll"));
    // Wayland desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvana.FirmwareUpdater"));

    fixtureSoftwareUpdater window;
    window.show();
    return application.exec();
}
