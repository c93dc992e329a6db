#include "serialPortThread.h"

#include "dmxTiming.h"
#include "updateFileLine.h"

serialPortThread::serialPortThread(QString portName, QFileInfo updateFile)
    : QObject(nullptr),
      cancelRequested(false),
      serialPort(nullptr),
      breakDuration(dmxTiming::breakMicroseconds),
      markAfterBreakDuration(dmxTiming::markAfterBreakMicroseconds),
      startCode(0x00),
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
    schedule.waitForLastFrame();
}

// Never cleared: a worker is made for one update run.
void serialPortThread::cancelSending()
{
    cancelRequested = true;
}
