#ifndef SERIALINTERFACES_H
#define SERIALINTERFACES_H

#include <QList>
#include <QString>

// What the updater needs to know of one serial port.
struct serialPortDescription
{
    QString portName;
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString systemLocation;
    int vendorId = -1;  // USB ids, -1 when the port has none
    int productId = -1;
};

using serialPortLister = QList<serialPortDescription> (*)();

// The ports the operating system offers, in the serial-port library's order.
QList<serialPortDescription> availableSerialPorts();

// Tests replace the lister to feed ports without hardware; nullptr restores the serial-port library.
void setSerialPortLister(serialPortLister lister);

// Built-in and virtual ports report no serial number, and only a USB adapter
// can drive a fixture line: only ports with one are offered as interfaces.
bool isListedInterface(const serialPortDescription &port);

// The Interfaces menu, top entry first: the listed ports, each one
// enumerated above those before it, so the newest adapter is on top.
QList<serialPortDescription> interfaceMenu(const QList<serialPortDescription> &ports);

// Our own adapters, recognised by the maker their USB bridge reports.
bool isVantorInterface(const serialPortDescription &port);

// The interface's entry in the Interfaces menu.
QString interfaceMenuText(const serialPortDescription &port);

#endif // SERIALINTERFACES_H
