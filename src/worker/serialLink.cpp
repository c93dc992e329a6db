#include "serialPortThread.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSignalBlocker>

namespace {
// One character on the line: 1 start, 8 data and 2 stop bits at 250 000 bit/s.
constexpr unsigned long characterMicroseconds = 44;
}

void serialPortThread::openPort(QString portName)
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();

    qDebug() << "Choosing " << portName;
    serialPort = new QSerialPort(portName, this);

    if (!serialPort->setBaudRate(250000, QSerialPort::AllDirections)) {
        setupErrorText = QStringLiteral("Unable to set Baudrate!");
        return;
    }
    if (!serialPort->setDataBits(QSerialPort::Data8)) {
        setupErrorText = QStringLiteral("Unable to set DataBits");
        return;
    }
    if (!serialPort->setParity(QSerialPort::NoParity)) {
        setupErrorText = QStringLiteral("Unable to set Parity");
        return;
    }
    if (!serialPort->setStopBits(QSerialPort::TwoStop)) {
        setupErrorText = QStringLiteral("Unable to set Stop Bits");
        return;
    }
    if (!serialPort->setFlowControl(QSerialPort::NoFlowControl)) {
        setupErrorText = QStringLiteral("Unable to set FlowControl");
        return;
    }

    if (!serialPort->open(QIODevice::ReadWrite)) {
        // A port that failed without saying why is still a port that is not open.
        const QSerialPort::SerialPortError error = serialPort->error();
        setupPortError = error != QSerialPort::NoError ? error : QSerialPort::NotOpenError;
        serialPort->clearError();
        return;
    }
    if (serialPort->isTextModeEnabled()) {
        setupErrorText = QStringLiteral("Interface Text mode enabled");
        return;
    }
    if (!serialPort->setDataTerminalReady(true)) {
        setupErrorText = QStringLiteral("Unable to set DataTerminalReady");
        return;
    }
    serialPort->clear(QSerialPort::AllDirections);

    connect(serialPort, &QSerialPort::errorOccurred, this, &serialPortThread::portErrorOccurred);
    connect(serialPort, &QIODevice::aboutToClose, this, &serialPortThread::portClosing);
    connect(serialPort, &QSerialPort::dataTerminalReadyChanged, this, &serialPortThread::portClosing);
}

bool serialPortThread::reportSetupFailure()
{
    if (!setupErrorText.isEmpty()) {
        emit sendError(setupErrorText);
        return true;
    }
    if (setupPortError != QSerialPort::NoError) {
        reportPortError(setupPortError);
        return true;
    }
    return false;
}

qint64 serialPortThread::sendPacket(const QByteArray &packet)
{
    const int reportsBeforeSend = portErrorReports;

    // The bytes of the frame before, and the hold after it, are over only now.
    frameTiming.waitForNextBreak();
    if (!serialPort->setBreakEnabled(true))
        return failSend(reportsBeforeSend);
    lineDelay(breakDuration);
    if (!serialPort->setBreakEnabled(false))
        return failSend(reportsBeforeSend);
    // The frame is put together while the mark runs.
    const qint64 markEndNs = lineTiming::nowNs() + qint64(markAfterBreakDuration) * 1000;

    QByteArray &frame = frameBuffer;
    frame.resize(0);
    frame.append(startCodeBytes);
    frame.append(packet);
    // Generous: twice the frame's time on the line, plus a second for the driver.
    const qint64 wireMilliseconds = (qint64(frame.size()) * characterMicroseconds + 999) / 1000;
    const QDeadlineTimer deadline(1000 + 2 * wireMilliseconds);
    lineTiming::sleepUntil(markEndNs);

    const qint64 written = serialPort->write(frame.constData(), frame.size());
    if (written <= 0 || !serialPort->flush() || !waitUntilWritten(deadline)) {
        qDebug() << "Failed to send";
        return failSend(reportsBeforeSend);
    }

    // Every byte, start code included, may still be queued: the next break
    // waits for their time on the line.
    frameTiming.frameWritten(frame.size(), characterMicroseconds);
    return written - 1;
}

bool serialPortThread::waitUntilWritten(const QDeadlineTimer &deadline)
{
    // waitForBytesWritten() returns once a chunk has gone out, but with nothing
    // left to write it waits for input instead, so call it only while bytes remain.
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
    discardPendingOutput();

    if (error != QSerialPort::NoError)
        reportPortError(error);
    else if (portErrorReports == reportsBeforeSend)
        reportPortError(QSerialPort::WriteError); // the window must hear of every failed send
    return -1;
}

void serialPortThread::discardPendingOutput()
{
    if (!serialPort->isOpen() || serialPort->bytesToWrite() == 0)
        return;
    // The failure is being reported already; what is left of the frame must not
    // reach the line later, and dropping it must not add a second report.
    const QSignalBlocker blocker(serialPort);
    serialPort->clear(QSerialPort::Output);
    serialPort->clearError();
}

void serialPortThread::lineDelay(unsigned long microseconds)
{
    lineTiming::sleepUntil(lineTiming::nowNs() + qint64(microseconds) * 1000);
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
