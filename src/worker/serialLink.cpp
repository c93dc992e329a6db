#include "serialPortThread.h"

void serialPortThread::openPort(QString) {}
qint64 serialPortThread::sendPacket(const QByteArray &) { return -1; }
void serialPortThread::reportPortError(QSerialPort::SerialPortError) {}
void serialPortThread::portErrorOccurred(QSerialPort::SerialPortError) {}
void serialPortThread::portClosing() {}
