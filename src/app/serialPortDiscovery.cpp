#include "serialPortDiscovery.h"

#include <QSerialPortInfo>

namespace {

QList<serialPortDescription> systemSerialPorts()
{
    QList<serialPortDescription> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        ports.append({info.portName(), info.description(), info.manufacturer(), info.serialNumber()});
    return ports;
}

serialPortLister currentLister = systemSerialPorts;

} // namespace

QList<serialPortDescription> availableSerialPorts()
{
    return currentLister();
}

void setSerialPortLister(serialPortLister lister)
{
    currentLister = lister ? lister : systemSerialPorts;
}
