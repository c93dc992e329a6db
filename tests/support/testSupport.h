#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "framePlan.h"

#include <QtCore>

#include <atomic>
#include <thread>

// A virtual DMX interface: a pty whose far end the program opens by its path,
// while this end collects what arrives. The preloaded dmxshim gives it modem
// lines and logs breaks and writes.
class virtualDmxLine
{
public:
    virtualDmxLine();
    ~virtualDmxLine();
    QString portPath() const { return path; }
    // As a terminal: its width in columns.
    void setColumns(int columns);
    QByteArray received() const;
    // Whether all that the far end has written so far is in received().
    bool drained() const;
    // The line as the program had set it when its first byte arrived, e.g. "250000 bit/s 8N2".
    QString settingsAtFirstByte() const;

private:
    void drain();

    int master = -1, slave = -1;
    QString path;
    std::atomic<bool> stopping{false};
    std::thread reader;
    mutable QMutex mutex;
    QByteArray bytes;
    QString settings;
};

// One frame as the shim saw it. Gap: from its last byte written to the next
// break, or to the port's close after the last frame.
struct wireFrame
{
    QByteArray bytes; // start code included
    qint64 breakUs = -1, markUs = -1, gapUs = -1;
};

struct portSession
{
    QString path;
    bool dtrRaised = false, closed = false;
    QVector<wireFrame> frames;
    int bytesCut = 0, framesCut = 0; // by the break after them, under the shim's USB adapter model
    QStringList hex() const;
};

// The shim's log of this process and its children: one session per open of a port.
namespace shimLog {
void clear();
QVector<portSession> sessions();
portSession last();
}

// One entry per frame, in hex, as portSession::hex() lists what was sent.
QStringList expandFrames(const framePlan &expected);
// Every break, mark and gap against its minimum; empty when all are met.
QString timingFaults(const portSession &session, const framePlan &expected);

// Sets a shim fault (or any variable) for as long as it lives.
struct scopedEnvironment
{
    scopedEnvironment(const char *name, const QByteArray &value) : name(name) { qputenv(name, value); }
    ~scopedEnvironment() { qunsetenv(name); }
    const char *name;
};

// Update files that go with the test program.
QString writeUpdateFile(const QByteArray &contents, const QString &name = QString());

class serialPortThread;

// How a transfer told its end, signal by signal: finished(), canceled(), sendError(text),
// portStatusChanged(code) or transferFailed(kind).
struct transferEnding
{
    enum signal { finished, canceled, sendError, portError, failed };
    signal what;
    QString text = QString(); // of sendError
    int code = 0; // the port's error code, or the worker's failure kind
    static transferEnding port(int code) { return {portError, QString(), code}; }
    static transferEnding failure(int kind) { return {failed, QString(), kind}; }
    static transferEnding error(const QString &text) { return {sendError, text, 0}; }
};
using transferEndings = QVector<transferEnding>;
// For QCOMPARE: "finished", "sendError(text)", "portStatusChanged(ResourceError)", "transferFailed(failedOnTheWay)".
QStringList describe(const transferEndings &endings);

// One transfer driven the way the window drives it: the worker made here,
// moved to a thread of its own, reached only through queued calls.
class transferRun : public QObject
{
    Q_OBJECT

public:
    transferRun(const QString &portPath, const QString &filePath);
    ~transferRun() override;
    void start() { emit startSending(); }
    void cancel() { emit cancelSending(); }
    bool waitForEnd(int timeoutMs = 20000);

    transferEndings endings; // in the order they came
    int length = -1, progress = 0;

signals:
    void startSending();
    void cancelSending();

private:
    QThread thread;
};

Q_DECLARE_METATYPE(transferEndings)

#endif // TESTSUPPORT_H
