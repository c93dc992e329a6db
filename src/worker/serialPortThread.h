#ifndef SERIALPORTTHREAD_H
#define SERIALPORTTHREAD_H

#include <QByteArray>
#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "lineTiming.h"

class QDeadlineTimer;

// Sends one update file to the fixtures as DMX512 frames. One object per
// update run; it is moved to a thread of its own and driven by signals.
class serialPortThread : public QObject
{
    Q_OBJECT

public:
    serialPortThread(QString portName, QFileInfo updateFile);
    ~serialPortThread() override;

signals:
    void portStatusChanged(qlonglong status);
    void sendError(QString error);
    void sendMessage(QString message);
    void updateFileLength(int length);
    void updateProgress(int progress);
    void finished();
    void canceled();

public slots:
    void startSending();
    void cancelSending();

private:
    // QSerialPort always sets an error code on a failed call; the test reaches
    // the guard for a failure without one directly.
    friend class tst_serialLink;

    // Serial link (serialLink.cpp)
    void openPort(QString portName);
    qint64 sendPacket(const QByteArray &packet);
    void reportPortError(QSerialPort::SerialPortError error);
    void portErrorOccurred(QSerialPort::SerialPortError error);
    void portClosing();
    bool reportSetupFailure();
    bool waitUntilWritten(const QDeadlineTimer &deadline);
    qint64 failSend(int reportsBeforeSend);
    void discardPendingOutput();
    void lineDelay(unsigned long microseconds);

    // Transfer engine (transferEngine.cpp)
    bool holdFrame(quint32 milliseconds);
    void deliverPendingEvents();
    void endOnFailedSend();

    QFileInfo updateFileInfo;
    bool cancelRequested;
    QSerialPort *serialPort;
    quint32 breakDuration;
    quint32 markAfterBreakDuration;
    char startCode;
    int packetRepeats;
    QByteArray startCodeBytes;

    // The constructor sets the port up before anyone listens, so its first
    // failure is kept here and reported when a transfer is asked for.
    QString setupErrorText;
    QSerialPort::SerialPortError setupPortError;
    // Counts reports, so a failed send can tell whether it was reported yet.
    int portErrorReports;
    // Keeps its capacity from frame to frame, so sending allocates nothing
    // once the longest packet has gone out.
    QByteArray frameBuffer;
    // Gone before the QObject base deletes the port, and waits for the last frame on its way.
    lineSchedule frameTiming;
};

#endif // SERIALPORTTHREAD_H
