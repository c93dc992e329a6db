#ifndef DMXWIRE_H
#define DMXWIRE_H

#include <QSerialPort>
#include <QString>

#include "lineSchedule.h"

class QDeadlineTimer;

// The operator's words for an adapter that refuses the break every frame starts with.
inline constexpr char cannotSendBreakText[] = "This interface cannot send a DMX512 break";

// The DMX512 line through one serial port: its set-up (line settings, opening, the lock on the device, DTR)
// and its frames (break, mark after break, the bytes), each on the line whole before the next break.
//
// A USB adapter takes the bytes of write() a millisecond or so later, and only then starts shifting them out;
// a break is a request of its own. So after a frame is handed over, the wire waits until the driver's output
// queue is empty, then the frame's own time on the line from that moment, and only then asks for the break.
// Where the queue cannot be read, the frame's time counts from the write.
class dmxWire
{
public:
    dmxWire(QSerialPort &port, quint32 breakMicroseconds, quint32 markAfterBreakMicroseconds);
    Q_DISABLE_COPY(dmxWire)

    // Why the port is not ready for frames: the operator's words for a setting the adapter refuses, or a port
    // error code. Both empty when the port is open, held, set up and can send a break.
    struct setupFailure
    {
        QString text;
        QSerialPort::SerialPortError error = QSerialPort::NoError;
        bool cannotBreak = false; // the adapter refuses the break itself
        bool isEmpty() const { return text.isEmpty() && error == QSerialPort::NoError; }
    };
    setupFailure open();

    // Why a frame did not go out whole; the port's own error tells more, where it has one.
    enum class frameFailure { none, breakRefused, writeFailed, timedOut };
    frameFailure sendFrame(const QByteArray &frame);
    // What the port still holds of a failed frame must never reach the line later.
    void dropUnsentBytes();

    void holdAfterFrame(quint32 milliseconds) { schedule.holdAfterFrame(milliseconds); }
    // Sleeps one slice of the hold; false once only its last stretch is left, which the next break waits out.
    bool sleepSliceOfHold() { return schedule.sleepSliceOfHold(); }
    // Closing the port may drop what the adapter has not sent yet.
    void waitForLastFrame() { schedule.waitForLastFrame(); }

private:
    // Whether the driver itself says it can send a break; unknown where only the port can be asked.
    enum class breakSupport { present, absent, unknown };

    QString lineSettingsFailure();
    setupFailure probeBreak();
    bool waitUntilWritten(const QDeadlineTimer &deadline);
    bool waitUntilAdapterHasAll(const QDeadlineTimer &deadline);

    // The system's own, in dmxWire_posix.cpp and dmxWire_win.cpp.
    bool lockDevice();
    breakSupport driverBreakSupport();
    // Bytes the driver has not handed to the adapter yet; -1 where the system cannot say.
    qint64 outputQueueBytes() const;

    QSerialPort &port;
    const quint32 breakMicroseconds;
    const quint32 markAfterBreakMicroseconds;
    lineSchedule schedule;
};

#endif // DMXWIRE_H
