#include <QApplication>

#include "fixtureSoftwareUpdater.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::addLibraryPath(QStringLiteral("./dll"));

    fixtureSoftwareUpdater window;
    window.show();
    return application.exec();
}
