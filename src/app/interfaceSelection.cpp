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

// Our own adapters are recognised by the maker their USB bridge reports.
const QString vantorManufacturer = QStringLiteral("Silicon Labs");

QString menuText(const serialPortDescription &port)
{
    QString text = port.manufacturer + QLatin1Char(' ') + port.serialNumber;
    if (port.manufacturer == vantorManufacturer)
        text += QLatin1String("(Vantor2)");
    return text;
}

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

    // The entries of the last refresh are never shown again; keeping them
    // would let every refresh add to the window's memory.
    const QList<QAction *> oldEntries = portActionGroup->actions();
    for (QAction *entry : oldEntries) {
        portActionGroup->removeAction(entry);
        ui->menuPort->removeAction(entry);
        delete entry;
    }

    for (const serialPortDescription &port : qAsConst(serialPorts)) {
        // Built-in and virtual ports report no serial number, and only a USB
        // adapter can drive a fixture line.
        if (port.serialNumber.isEmpty())
            continue;

        QAction *entry = portActionGroup->addAction(menuText(port));
        ui->menuPort->insertAction(ui->menuPort->actions().value(0), entry);
        if (port.manufacturer == vantorManufacturer)
            serialPortSelected(entry);

        entry->setData(port.portName);
        qDebug() << port.portName << port.description << port.manufacturer << port.serialNumber;

        if (port.portName == selectedPortName) {
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
