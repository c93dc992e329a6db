#include "fixtureSoftwareUpdater.h"

#include <QAction>
#include <QActionGroup>
#include <QDebug>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVariant>

#include <algorithm>
#include <utility>

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
        startOffered = true;
    checkInterface();
    showState(state);
}

void fixtureSoftwareUpdater::serialPortSelected(QAction *action)
{
    selectedPortName = action->data().toString();
    action->setCheckable(true);
    action->setChecked(true);
    interfaceLabel->setText(QStringLiteral("Current interface: ") + action->text());
    startOffered = !selectedPortName.isEmpty() && updateFileExists(updateFile);
    checkInterface();
    showState(state);
}

// An interface that is no longer listed stays the current one, marked as gone, and Start waits until it is
// listed again or another one is chosen: the window never sends to another fixture line by itself.
bool fixtureSoftwareUpdater::checkInterface()
{
    const bool wasGone = std::exchange(interfaceGone, !selectedPortName.isEmpty() && !interfaceListed());
    QAction *current = selectedPortName.isEmpty() ? nullptr : portActionGroup->checkedAction();
    if (current && (interfaceGone || wasGone)) {
        current->setEnabled(!interfaceGone);
        interfaceLabel->setText(QStringLiteral("Current interface: ") + current->text()
                                + (interfaceGone ? QStringLiteral(" is gone: plug it in again, or choose another") : QString()));
    }
    return interfaceGone != wasGone;
}

// Listed by the same port name and the same maker and serial number: another adapter that takes over the
// name is another fixture line.
bool fixtureSoftwareUpdater::interfaceListed() const
{
    const QAction *current = portActionGroup->checkedAction();
    const QList<serialPortDescription> ports = availableSerialPorts();
    return current && std::any_of(ports.cbegin(), ports.cend(), [this, current](const serialPortDescription &port) {
               return port.portName == selectedPortName && isListedInterface(port) && interfaceMenuText(port) == current->text();
           });
}
