#include "serialPortErrorText.h"

#include <QSerialPort>

// Words for the operator; an empty text means the code has none.
QString serialPortErrorMessage(int error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("Serialport Error: DeviceNotFoundError");
    case QSerialPort::PermissionError:
        return QStringLiteral("Serialport Error: PermissionError");
    case QSerialPort::OpenError:
        return QStringLiteral("Serialport Error: OpenError Device already open");
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 dropped these three codes, and numbers the ones after them anew.
    case QSerialPort::ParityError:
        return QStringLiteral("Serialport Error: ParityError");
    case QSerialPort::FramingError:
        return QStringLiteral("Serialport Error: FramingError");
    case QSerialPort::BreakConditionError:
        return QStringLiteral("Serialport Error: BreakConditionError");
#endif
    case QSerialPort::WriteError:
        return QStringLiteral("Serialport Error: WriteError");
    case QSerialPort::ReadError:
        return QStringLiteral("Serialport Error: ReadError");
    case QSerialPort::ResourceError:
        return QStringLiteral("Serialport Error: ResourceError: Device Unavailable");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("Serialport Error: UnsupportedOperationError");
    case QSerialPort::UnknownError:
        return QStringLiteral("Serialport Error: UnknownError");
    case QSerialPort::TimeoutError:
        return QStringLiteral("Serialport Error: TimeoutError");
    case QSerialPort::NotOpenError:
        return QStringLiteral("Serialport Error: NotOpenError");
    default:
        return QString();
    }
}
