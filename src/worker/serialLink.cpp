#include "serialPortThread.h"

#include "dmxTiming.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSignalBlocker>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

namespace {

// The DMX512 line: 250 000 bit/s, 8 data bits, no parity, 2 stop bits.
// Returns the operator's text for the first setting the adapter refuses.
QString lineSettingsFailure(QSerialPort &port)
{
    if (!port.setBaudRate(250000, QSerialPort::AllDirections))
        return QStringLiteral("Unable to set Baudrate!");
    if (!port.setDataBits(QSerialPort::Data8))
        return QStringLiteral("Unable to set DataBits");
    if (!port.setParity(QSerialPort::NoParity))
        return QStringLiteral("Unable to set Parity");
    if (!port.setStopBits(QSerialPort::TwoStop))
        return QStringLiteral("Unable to set Stop Bits");
    if (!port.setFlowControl(QSerialPort::NoFlowControl))
        return QStringLiteral("Unable to set FlowControl");
    return QString();
}

} // namespace

// Nobody listens to the worker yet when this runs, in its constructor: a failure is kept and reported when
// the transfer is asked for, and the port then gets no frame.
void serialPortThread::openPort(QString portName)
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();

    qDebug() << "Choosing " << portName;
    serialPort = new QSerialPort(portName, this);
    setupErrorText = lineSettingsFailure(*serialPort);
    if (!setupErrorText.isEmpty())
        return;

    if (!serialPort->open(QIODevice::ReadWrite)) {
        // A port that failed without saying why is still a port that is not open.
        const QSerialPort::SerialPortError error = serialPort->error();
        setupPortError = error != QSerialPort::NoError ? error : QSerialPort::NotOpenError;
        serialPort->clearError();
        return;
    }
#ifdef Q_OS_UNIX
    // The library's lock file goes by the name the port was opened by, and root
    // ignores the exclusive-use mark: an updater reaching the adapter through a
    // link would write to the same line. This lock is on the device itself.
    if (flock(int(serialPort->handle()), LOCK_EX | LOCK_NB) != 0) {
        serialPort->close();
        setupPortError = QSerialPort::PermissionError;
        return;
    }
#endif
    setupErrorText = serialPort->isTextModeEnabled()              ? QStringLiteral("Interface Text mode enabled")
                   : !serialPort->setDataTerminalReady(true) ? QStringLiteral("Unable to set DataTerminalReady")
                                                             : QString();
    if (!setupErrorText.isEmpty())
        return;
    serialPort->clear(QSerialPort::AllDirections);

    connect(serialPort, &QSerialPort::errorOccurred, this, &serialPortThread::portErrorOccurred);
    connect(serialPort, &QIODevice::aboutToClose, this, &serialPortThread::portClosing);
    connect(serialPort, &QSerialPort::dataTerminalReadyChanged, this, &serialPortThread::portClosing);
}

bool serialPortThread::reportSetupFailure()
{
    if (!setupErrorText.isEmpty())
        emit sendError(setupErrorText);
    else if (setupPortError != QSerialPort::NoError)
        reportPortError(setupPortError);
    else
        return false;
    emit transferFailed(interfaceFailed);
    return true;
}

qint64 serialPortThread::sendPacket(const QByteArray &packet)
{
    const int reportsBeforeSend = portErrorReports;
    frameBuffer.resize(0);
    frameBuffer.append(startCodeBytes);
    frameBuffer.append(packet);

    // The bytes of the frame before, and the hold after it, are over only now.
    schedule.waitForNextBreak();
    if (!serialPort->setBreakEnabled(true))
        return failSend(reportsBeforeSend);
    lineSchedule::wait(breakDuration);
    if (!serialPort->setBreakEnabled(false))
        return failSend(reportsBeforeSend);
    lineSchedule::wait(markAfterBreakDuration);

    // Generous: twice the frame's time on the line, plus a second for the driver.
    const qint64 wireMilliseconds = (qint64(frameBuffer.size()) * dmxTiming::characterMicroseconds + 999) / 1000;
    const QDeadlineTimer deadline(1000 + 2 * wireMilliseconds);
    const qint64 written = serialPort->write(frameBuffer.constData(), frameBuffer.size());
    if (written <= 0 || !serialPort->flush() || !waitUntilWritten(deadline)) {
        qDebug() << "Failed to send";
        return failSend(reportsBeforeSend);
    }
    // The start code needs its character time on the line as much as the
    // packet's bytes do; the next break waits for all of them.
    schedule.frameWritten(frameBuffer.size());
    return written - 1;
}

bool serialPortThread::waitUntilWritten(const QDeadlineTimer &deadline)
{
    // Bounded: an adapter that stops taking bytes must end the update with an error, not hang it.
    // waitForBytesWritten() returns once a chunk has gone out, but with nothing left to write it waits for
    // input instead, so it is called only while bytes remain.
    while (serialPort->bytesToWrite() > 0) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0) {
            if (serialPort->error() == QSerialPort::NoError)
                reportPortError(QSerialPort::TimeoutError);
            return false;
        }
        if (!serialPort->waitForBytesWritten(int(remaining)))
            return false;
    }
    return true;
}

qint64 serialPortThread::failSend(int reportsBeforeSend)
{
    const QSerialPort::SerialPortError error = serialPort->error();
    if (serialPort->isOpen() && serialPort->bytesToWrite() > 0) {
        // What is left of the frame must not reach the line later, and
        // dropping it must not add a second report.
        const QSignalBlocker blocker(serialPort);
        serialPort->clear(QSerialPort::Output);
        serialPort->clearError();
    }
    if (error != QSerialPort::NoError)
        reportPortError(error);
    else if (portErrorReports == reportsBeforeSend)
        reportPortError(QSerialPort::WriteError); // the window must hear of every failed send
    return -1;
}

void serialPortThread::reportPortError(QSerialPort::SerialPortError error)
{
    ++portErrorReports;
    emit portStatusChanged(error);
    serialPort->clearError();
}

void serialPortThread::portErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError)
        reportPortError(error);
}

void serialPortThread::portClosing()
{
    ++portErrorReports;
    emit portStatusChanged(QSerialPort::NotOpenError);
}
