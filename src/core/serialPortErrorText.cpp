#include "serialPortErrorText.h"

#include <QSerialPort>

#include <utility>

// Words for the operator; an empty text means the code has none.
QString serialPortErrorMessage(int error)
{
    static const std::pair<int, const char *> messages[] = {
        {QSerialPort::DeviceNotFoundError, "Serialport Error: DeviceNotFoundError"},
        {QSerialPort::PermissionError, "Serialport Error: PermissionError"},
        {QSerialPort::OpenError, "Serialport Error: OpenError Device already open"},
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        // Qt 6 dropped these three codes, and numbers the ones after them anew.
        {QSerialPort::ParityError, "Serialport Error: ParityError"},
        {QSerialPort::FramingError, "Serialport Error: FramingError"},
        {QSerialPort::BreakConditionError, "Serialport Error: BreakConditionError"},
#endif
        {QSerialPort::WriteError, "Serialport Error: WriteError"},
        {QSerialPort::ReadError, "Serialport Error: ReadError"},
        {QSerialPort::ResourceError, "Serialport Error: ResourceError: Device Unavailable"},
        {QSerialPort::UnsupportedOperationError, "Serialport Error: UnsupportedOperationError"},
        {QSerialPort::UnknownError, "Serialport Error: UnknownError"},
        {QSerialPort::TimeoutError, "Serialport Error: TimeoutError"},
        {QSerialPort::NotOpenError, "Serialport Error: NotOpenError"},
    };
    for (const auto &message : messages) {
        if (message.first == error)
            return QString::fromLatin1(message.second);
    }
    return QString();
}
