#ifndef SERIALPORTDISCOVERY_H
#define SERIALPORTDISCOVERY_H

#include <QList>
#include <QString>

// What the Interfaces menu needs to know of one serial port.
struct serialPortDescription
{
    QString portName;
    QString description;
    QString manufacturer;
    QString serialNumber;
};

using serialPortLister = QList<serialPortDescription> (*)();

// The ports the operating system offers, in the serial-port library's order.
QList<serialPortDescription> availableSerialPorts();

// Tests replace the lister to feed ports without hardware; nullptr restores
// the serial-port library.
void setSerialPortLister(serialPortLister lister);

#endif // SERIALPORTDISCOVERY_H
