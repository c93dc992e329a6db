#ifndef SERIALPORTADVICE_H
#define SERIALPORTADVICE_H

#include <QString>

// Where the serial-port library looks for a port: a name (ttyUSB0) in /dev, a path where it says.
QString portLocation(const QString &name);
// The device itself, whatever name or link reaches it: two names of one port are one interface.
QString portIdentity(const QString &name);

// How the current user gets read and write access to a serial device; empty
// where they have it, or where the system cannot say.
QString portAccessHint(const QString &systemLocation);

// What an operator can do about a serial port error on the device, in a sentence: the group to join, or that
// another program holds the interface. Empty where there is nothing to add.
QString portErrorAdvice(int error, const QString &systemLocation);

// What to do with an interface whose adapter cannot send a DMX512 break.
QString breakAdvice();

#endif // SERIALPORTADVICE_H
