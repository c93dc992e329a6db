#ifndef VIRTUALDMXADAPTER_H
#define VIRTUALDMXADAPTER_H

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <memory>

class QThread;

// A pseudo terminal that stands in for a DMX interface. The program under
// test opens portName(); everything it writes is drained from the master end
// by a thread of the adapter and collected in received().
class virtualDmxAdapter
{
public:
    virtualDmxAdapter();
    ~virtualDmxAdapter();

    bool isValid() const;
    QString portName() const;
    QByteArray received() const;
    // Waits until received() holds at least byteCount bytes. On the
    // application's thread it delivers events meanwhile, so a QSerialPort
    // living there gets to write.
    bool waitForReceived(int byteCount, int timeoutMs) const;
    void clearReceived();

private:
    Q_DISABLE_COPY(virtualDmxAdapter)

    void drain();
    bool readAvailable();
    void pauseUnlessStopping();

    int masterFd = -1;
    // Held open so the master never sees the slave side vanish between two users.
    int slaveFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    QString slavePath;

    mutable QMutex mutex;
    mutable QWaitCondition bytesArrived;
    QByteArray bytes;

    std::unique_ptr<QThread> drainThread;
};

#endif // VIRTUALDMXADAPTER_H
