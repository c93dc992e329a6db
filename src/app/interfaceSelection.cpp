#include "fixtureSoftwareUpdater.h"

#include <QAction>
#include <QActionGroup>
#include <QDebug>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVariant>

#include "fixtureSoftwareUpdaterForm.h"

namespace {

// Asks the file system each time: a cached answer would keep Start enabled
// for a file that has been deleted since it was chosen.
bool updateFileExists(const QFileInfo &file)
{
    return QFileInfo::exists(file.filePath());
}

} // namespace

void fixtureSoftwareUpdater::on_actionRefreshPortsList_triggered()
{
    serialPorts = availableSerialPorts();
    // Kept, old entries would add to the window's memory at every refresh; deleted, they leave group and menu.
    qDeleteAll(portActionGroup->actions());

    // From the bottom entry up, each above the ones before it. Every entry is
    // made current in turn, so the top entry ends current whatever was chosen
    // before: technicians rely on the newest adapter being the one an update goes to.
    const QList<serialPortDescription> menu = interfaceMenu(serialPorts);
    for (auto port = menu.crbegin(); port != menu.crend(); ++port) {
        QAction *entry = portActionGroup->addAction(interfaceMenuText(*port));
        ui->menuPort->insertAction(ui->menuPort->actions().value(0), entry);
        // Our own adapters become current even before their port name is set.
        if (isVantorInterface(*port))
            serialPortSelected(entry);

        entry->setData(port->portName);
        qDebug() << port->portName << port->description << port->manufacturer << port->serialNumber;

        if (port->portName == selectedPortName) {
            entry->setCheckable(true);
            entry->setChecked(true);
        } else {
            serialPortSelected(entry);
        }
    }

    if (portActionGroup->actions().isEmpty() || selectedPortName.isEmpty()) {
        selectedPortName = QLatin1String("");
        interfaceLabel->setText(QStringLiteral("Currently no interface selected!"));
    }

    if (!selectedPortName.isEmpty() && updateFileExists(updateFile))
        ui->updateButton->setEnabled(true);
}

void fixtureSoftwareUpdater::serialPortSelected(QAction *action)
{
    selectedPortName = action->data().toString();
    action->setCheckable(true);
    action->setChecked(true);
    interfaceLabel->setText(QStringLiteral("Current interface: ") + action->text());
    ui->updateButton->setEnabled(!selectedPortName.isEmpty() && updateFileExists(updateFile));
}
