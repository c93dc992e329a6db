#include "serialPortThread.h"

serialPortThread::serialPortThread(QString portName, QFileInfo updateFile)
    : QObject(nullptr),
      cancelRequested(false),
      serialPort(nullptr),
      breakDuration(500),
      markAfterBreakDuration(100),
      startCode(0x00),
      packetRepeats(5),
      startCodeBytes(QByteArray::fromRawData(&startCode, 1)),
      setupPortError(QSerialPort::NoError),
      portErrorReports(0)
{
    openPort(portName);
    updateFileInfo = updateFile;
}

serialPortThread::~serialPortThread() = default;

void serialPortThread::cancelSending()
{
    cancelRequested = true;
}
