#include "serialInterfaces.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <iterator>

namespace {

QList<serialPortDescription> systemSerialPorts()
{
    QList<serialPortDescription> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        serialPortDescription port{info.portName(), info.description(), info.manufacturer(), info.serialNumber(),
                                   info.systemLocation()};
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        ports.append(port);
    }
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

bool isListedInterface(const serialPortDescription &port)
{
    return !port.serialNumber.isEmpty();
}

QList<serialPortDescription> interfaceMenu(const QList<serialPortDescription> &ports)
{
    QList<serialPortDescription> menu;
    std::copy_if(ports.crbegin(), ports.crend(), std::back_inserter(menu), isListedInterface);
    return menu;
}

bool isVantorInterface(const serialPortDescription &port)
{
    return port.manufacturer == QLatin1String("Silicon Labs");
}

QString interfaceMenuText(const serialPortDescription &port)
{
    QString text = port.manufacturer + QLatin1Char(' ') + port.serialNumber;
    if (isVantorInterface(port))
        text += QLatin1String("(Vantor2)");
    return text;
}
