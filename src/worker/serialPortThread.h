#ifndef SERIALPORTTHREAD_H
#define SERIALPORTTHREAD_H

#include <QByteArray>
#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <atomic>
#include <memory>

class QFile;
class dmxWire;

// What a transfer has put out so far, counted on the worker's thread as it goes and read from any other at the
// rate it is shown: an event for every frame would cost the wire its time when several lines run at once.
struct transferCounts
{
    std::atomic<int> linesOut{0}; // lines whose frames have all gone out, comment lines passed included
    std::atomic<qint64> frames{0}; // on the wire, repetitions included
    std::atomic<int> linesPassed{0}; // progress steps: lines with their holds over, what the time left is reckoned from
};

// Sends one update file to the fixtures as DMX512 frames. One object per
// update run; it is moved to a thread of its own and driven by signals.
class serialPortThread : public QObject
{
    Q_OBJECT

public:
    serialPortThread(QString portName, QFileInfo updateFile);
    ~serialPortThread() override;

    // For callers that act on the kind of a failure rather than on its words.
    enum failureKind { interfaceFailed, fileUnreadable, fileRefused, failedOnTheWay, interfaceCannotBreak };
    Q_ENUM(failureKind)
    // Kept by whoever follows the run: they outlive the worker.
    std::shared_ptr<const transferCounts> counts() const { return sent; }

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
    void notePassed();
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
    bool setupCannotBreak = false;
    // Counts reports, so a failed send can tell whether it was reported yet.
    int portErrorReports = 0;
    // Keeps its capacity from frame to frame, so sending allocates nothing
    // once the longest packet has gone out.
    QByteArray frameBuffer;
    std::unique_ptr<dmxWire> wire;
    std::shared_ptr<transferCounts> sent = std::make_shared<transferCounts>();
};

#endif // SERIALPORTTHREAD_H
