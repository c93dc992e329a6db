#include "serialPortThread.h"

#include "dmx512.h"
#include "dmxWire.h"
#include "updateFileLine.h"

#include <QDebug>

serialPortThread::serialPortThread(QString portName, QFileInfo updateFile)
    : QObject(nullptr),
      cancelRequested(false),
      serialPort(nullptr),
      breakDuration(dmx512::breakMicroseconds),
      markAfterBreakDuration(dmx512::markAfterBreakMicroseconds),
      startCode(dmx512::startCode),
      packetRepeats(updateFileLine::extraSendsOnLengthChange),
      startCodeBytes(QByteArray::fromRawData(&startCode, 1))
{
    openPort(portName);
    updateFileInfo = updateFile;
}

serialPortThread::~serialPortThread()
{
    // The port closes right after this, with the worker's children, and closing may drop what the adapter has
    // not sent yet: the last frame of an update would reach the fixtures cut short.
    wire->waitForLastFrame();
}

// Never cleared: a worker is made for one update run.
void serialPortThread::cancelSending()
{
    cancelRequested = true;
}

// Nobody listens to the worker yet when this runs, in its constructor: a failure is kept and reported when
// the transfer is asked for, and the port then gets no frame.
void serialPortThread::openPort(QString portName)
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();

    qDebug() << "Choosing " << portName;
    serialPort = new QSerialPort(portName, this);
    wire.reset(new dmxWire(*serialPort, breakDuration, markAfterBreakDuration));
    const dmxWire::setupFailure failure = wire->open();
    setupErrorText = failure.text;
    setupPortError = failure.error;
    setupCannotBreak = failure.cannotBreak;
    if (!failure.isEmpty())
        return;

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
    emit transferFailed(setupCannotBreak ? interfaceCannotBreak : interfaceFailed);
    return true;
}

qint64 serialPortThread::sendPacket(const QByteArray &packet)
{
    const int reportsBeforeSend = portErrorReports;
    frameBuffer.resize(0);
    frameBuffer.append(startCodeBytes);
    frameBuffer.append(packet);

    const dmxWire::frameFailure failure = wire->sendFrame(frameBuffer);
    if (failure == dmxWire::frameFailure::none)
        return frameBuffer.size() - 1;
    if (failure != dmxWire::frameFailure::breakRefused)
        qDebug() << "Failed to send";
    return failSend(reportsBeforeSend, failure == dmxWire::frameFailure::timedOut ? QSerialPort::TimeoutError
                                                                                   : QSerialPort::WriteError);
}

// The window must hear of every failed send, once: by the port's own error, or else by the one given.
qint64 serialPortThread::failSend(int reportsBeforeSend, QSerialPort::SerialPortError unreported)
{
    const QSerialPort::SerialPortError error = serialPort->error();
    wire->dropUnsentBytes();
    if (error != QSerialPort::NoError)
        reportPortError(error);
    else if (portErrorReports == reportsBeforeSend)
        reportPortError(unreported);
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
