#include <QApplication>

#include "fixtureSoftwareUpdater.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::addLibraryPath(QStringLiteral("./dll"));
    // Wayland desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvana.FirmwareUpdater"));

    fixtureSoftwareUpdater window;
    window.show();
    return application.exec();
}
