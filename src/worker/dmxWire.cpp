#include "dmxWire.h"

#include "dmx512.h"

#include <QDeadlineTimer>
#include <QSignalBlocker>

namespace {

// How often the driver's queue is looked at while a USB transfer carries a frame to the adapter.
constexpr quint32 queuePollMicroseconds = 20;

} // namespace

dmxWire::dmxWire(QSerialPort &port, quint32 breakMicroseconds, quint32 markAfterBreakMicroseconds)
    : port(port), breakMicroseconds(breakMicroseconds), markAfterBreakMicroseconds(markAfterBreakMicroseconds)
{
}

// Returns the operator's text for the first setting the adapter refuses.
QString dmxWire::lineSettingsFailure()
{
    if (!port.setBaudRate(dmx512::baudRate, QSerialPort::AllDirections))
        return QStringLiteral("Unable to set Baudrate!");
    if (!port.setDataBits(QSerialPort::DataBits(dmx512::dataBits)))
        return QStringLiteral("Unable to set DataBits");
    if (!port.setParity(QSerialPort::NoParity))
        return QStringLiteral("Unable to set Parity");
    if (!port.setStopBits(QSerialPort::StopBits(dmx512::stopBits)))
        return QStringLiteral("Unable to set Stop Bits");
    if (!port.setFlowControl(QSerialPort::NoFlowControl))
        return QStringLiteral("Unable to set FlowControl");
    return QString();
}

dmxWire::setupFailure dmxWire::open()
{
    const QString refused = lineSettingsFailure();
    if (!refused.isEmpty())
        return {refused};
    if (!port.open(QIODevice::ReadWrite)) {
        // A port that failed without saying why is still a port that is not open.
        const QSerialPort::SerialPortError error = port.error();
        port.clearError();
        return {QString(), error != QSerialPort::NoError ? error : QSerialPort::NotOpenError};
    }
    if (!lockDevice()) {
        port.close();
        return {QString(), QSerialPort::PermissionError};
    }
    if (port.isTextModeEnabled())
        return {QStringLiteral("Interface Text mode enabled")};
    if (!port.setDataTerminalReady(true))
        return {QStringLiteral("Unable to set DataTerminalReady")};
    port.clear(QSerialPort::AllDirections);
    return probeBreak();
}

// Clearing a break that is not set changes nothing on the line, and a driver without break support refuses it
// as it refuses the break itself. Asked while nobody listens to the port, so the operator hears why in words,
// before the first frame, instead of as the port's error code at it.
dmxWire::setupFailure dmxWire::probeBreak()
{
    const setupFailure cannotBreak{QLatin1String(cannotSendBreakText), QSerialPort::NoError, true};
    const breakSupport driver = driverBreakSupport();
    if (driver != breakSupport::unknown)
        return driver == breakSupport::present ? setupFailure{} : cannotBreak;
    if (port.setBreakEnabled(false))
        return {};
    const QSerialPort::SerialPortError error = port.error();
    port.clearError();
    return error == QSerialPort::UnsupportedOperationError ? cannotBreak : setupFailure{QString(), error};
}

dmxWire::frameFailure dmxWire::sendFrame(const QByteArray &frame)
{
    // The bytes of the frame before, and the hold after it, are over only now.
    schedule.waitForNextBreak();
    if (!port.setBreakEnabled(true))
        return frameFailure::breakRefused;
    schedule.wait(breakMicroseconds);
    if (!port.setBreakEnabled(false))
        return frameFailure::breakRefused;
    schedule.wait(markAfterBreakMicroseconds);

    // Generous: twice the frame's time on the line, plus a second for the driver.
    const qint64 wireMilliseconds = (qint64(frame.size()) * dmx512::characterMicroseconds + 999) / 1000;
    const QDeadlineTimer deadline(1000 + 2 * wireMilliseconds);
    const qint64 written = port.write(frame.constData(), frame.size());
    if (written <= 0 || !port.flush())
        return frameFailure::writeFailed;
    if (!waitUntilWritten(deadline))
        return deadline.hasExpired() ? frameFailure::timedOut : frameFailure::writeFailed;
    if (!waitUntilAdapterHasAll(deadline))
        return frameFailure::timedOut;
    // The start code needs its character time on the line as much as the
    // packet's bytes do; the next break waits for all of them.
    schedule.frameWritten(frame.size());
    return frameFailure::none;
}

bool dmxWire::waitUntilWritten(const QDeadlineTimer &deadline)
{
    // Bounded: an adapter that stops taking bytes must end the update with an error, not hang it.
    // waitForBytesWritten() returns once a chunk has gone out, but with nothing left to write it waits for
    // input instead, so it is called only while bytes remain.
    while (port.bytesToWrite() > 0) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0 || !port.waitForBytesWritten(int(remaining)))
            return false;
    }
    return true;
}

bool dmxWire::waitUntilAdapterHasAll(const QDeadlineTimer &deadline)
{
    while (outputQueueBytes() > 0) {
        if (deadline.hasExpired())
            return false;
        schedule.nap(queuePollMicroseconds);
    }
    return true;
}

void dmxWire::dropUnsentBytes()
{
    if (!port.isOpen() || (port.bytesToWrite() == 0 && outputQueueBytes() <= 0))
        return;
    // Dropping it must not add a second report.
    const QSignalBlocker blocker(&port);
    port.clear(QSerialPort::Output);
    port.clearError();
}
