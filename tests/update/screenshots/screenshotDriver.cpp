// The real window on a virtual DMX adapter, for screenshots driven from
// outside with xdotool. It prints where its controls are, since there is no
// window manager to find them by.

#include <QApplication>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

#include "fixtureSoftwareUpdater.h"
#include "serialPortDiscovery.h"
#include "virtualDmxAdapter.h"

namespace {

virtualDmxAdapter *adapter = nullptr;

QList<serialPortDescription> adapterPort()
{
    return {{adapter->portName(), QStringLiteral("CP2102N USB to UART Bridge Controller"),
             QStringLiteral("Silicon Labs"), QStringLiteral("0001")}};
}

void printControlCentres(const QWidget &window)
{
    QTextStream out(stdout);
    for (const char *name : {"selectFileButton", "selectFileButton_2", "updateButton", "cancelButton"}) {
        const auto *button = window.findChild<QPushButton *>(QLatin1String(name));
        // Hidden pages are laid out too, so every button has a place.
        const QRect area(button->mapTo(&window, QPoint(0, 0)), button->size());
        out << name << ' ' << area.center().x() << ' ' << area.center().y() << '\n';
    }
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Untitled boxes show the application's name: make it the updater's.
    QCoreApplication::setApplicationName(QStringLiteral("orvana-firmware-updater"));

    virtualDmxAdapter virtualAdapter;
    if (!virtualAdapter.isValid())
        return 1;
    adapter = &virtualAdapter;
    setSerialPortLister(adapterPort);

    fixtureSoftwareUpdater window;
    window.show();
    QTimer::singleShot(500, &application, [&window] { printControlCentres(window); });
    return application.exec();
}
