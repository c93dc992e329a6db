#ifndef SERIALPORTERRORTEXT_H
#define SERIALPORTERRORTEXT_H

#include <QString>

// The operator's words for a serial port error code (a QSerialPort::SerialPortError
// value); empty for a code that has none.
QString serialPortErrorMessage(int error);

#endif // SERIALPORTERRORTEXT_H
