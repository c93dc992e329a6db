#ifndef SERIALPORTTHREAD_H
#define SERIALPORTTHREAD_H

#include <QByteArray>
#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

class QFile;
class dmxWire;

// Sends one update file to the fixtures as DMX512 frames. One object per
// update run; it is moved to a thread of its own and driven by signals.
class serialPortThread : public QObject
{
    Q_OBJECT

public:
    serialPortThread(QString portName, QFileInfo updateFile);
    ~serialPortThread() override;

    // For callers that act on the kind of a failure rather than on its words.
    enum failureKind { interfaceFailed, fileUnreadable, fileRefused, failedOnTheWay };

signals:
    void portStatusChanged(qlonglong status);
    void sendError(QString error);
    // Nothing emits it; the window still connects it, as it always has.
    void sendMessage(QString message);
    void updateFileLength(int length);
    void updateProgress(int progress);
    void finished();
    void canceled();
    // Ends a transfer that ends neither finished nor canceled, after the report of why.
    void transferFailed(int kind);
    // After every frame: the lines whose frames have all gone out (comment lines passed included), and the
    // frames on the wire. What a fixture holds after an update that did not finish.
    void sentOnTheWire(int lines, qint64 frames);
    // The computer may go to sleep during this transfer, and why.
    void sleepNotInhibited(QString reason);

public slots:
    void startSending();
    void cancelSending();

private:
    // running: a line has gone out and the transfer goes on.
    enum class transferOutcome { running, finished, canceled, sendFailed, fileChanged };

    // Serial link: the worker's side of its wire (serialPortThread.cpp)
    void openPort(QString portName);
    bool reportSetupFailure();
    qint64 sendPacket(const QByteArray &packet);
    qint64 failSend(int reportsBeforeSend, QSerialPort::SerialPortError unreported);
    void reportPortError(QSerialPort::SerialPortError error);
    void portErrorOccurred(QSerialPort::SerialPortError error);
    void portClosing();

    // Transfer engine (transferEngine.cpp)
    qint64 checkUpdateFile(QFile &file);
    transferOutcome sendLines(QFile &file, qint64 countedLines);
    transferOutcome sendLine(const QByteArray &line, int &lastPacketLength);
    void noteFrameSent(bool lastOfItsLine);
    bool holdFrame(quint32 milliseconds);
    void deliverPendingEvents();
    void endTransfer(transferOutcome outcome, const QString &fileName);

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
    QSerialPort::SerialPortError setupPortError = QSerialPort::NoError;
    // Counts reports, so a failed send can tell whether it was reported yet.
    int portErrorReports = 0;
    // Keeps its capacity from frame to frame, so sending allocates nothing
    // once the longest packet has gone out.
    QByteArray frameBuffer;
    std::unique_ptr<dmxWire> wire;
    // What has gone out, for sentOnTheWire.
    int linesOnTheWire = 0;
    qint64 framesOnTheWire = 0;
};

#endif // SERIALPORTTHREAD_H
