#ifndef TRANSFERHARNESS_H
#define TRANSFERHARNESS_H

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <functional>

class serialPortThread;

// Runs one transfer the way the window does: the worker is created on this
// thread, moved to a thread of its own, and driven and observed only through
// queued connections.
class transferRun : public QObject
{
    Q_OBJECT

public:
    transferRun(const QString &portName, const QString &updateFilePath);
    ~transferRun() override;

    void start();
    void cancel();
    // True once the transfer ended with finished, canceled or a report.
    bool waitForEnd(int timeoutMs);
    // Quits the worker's thread and delivers whatever the worker still had queued.
    bool stop(int timeoutMs);

    // In arrival order: "finished", "canceled", "sendError:<text>", "portStatus:<code>".
    QStringList endings;
    QVector<int> lengths;
    QVector<int> progressSteps;
    int sentMessages = 0;
    int progressSum() const;

    // Called on this thread with the running sum after each progress step.
    std::function<void(int)> onProgress;

signals:
    void transferEnded();
    void startSending();
    void cancelSending();

private:
    void recordEnding(const QString &ending);

    QThread thread;
    serialPortThread *worker;
};

// Collects the debug lines of every thread while it exists; other messages
// go to the handler that was installed before.
class debugCapture
{
public:
    debugCapture();
    ~debugCapture();
    QStringList lines() const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
};

// The eight-line example file: four header lines, three packet lines, one comment.
extern const QByteArray workedExample;

// Update files for one test program, removed with it.
class updateFileWriter
{
public:
    bool isValid() const { return directory.isValid(); }
    QString write(const QByteArray &contents);
    QString pathOf(const QString &name) const { return directory.filePath(name); }

private:
    QTemporaryDir directory;
    int written = 0;
};

QByteArray concatenated(const QVector<QByteArray> &frames);

#endif // TRANSFERHARNESS_H
