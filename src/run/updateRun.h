#ifndef UPDATERUN_H
#define UPDATERUN_H

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <memory>

#include "runRecord.h"
#include "updateFileAnalysis.h"

class QLockFile;
class QThread;
class serialPortThread;
class updateHistory;
struct transferCounts;

// Follows one update run, beside whoever drives its worker: the interface and the file it went to, what went out,
// and how it ended, in the history too. It learns the ending on the worker's own thread, so that it is complete
// once that thread has stopped, whatever events a reset drops; what went out it reads at the rate it is shown.
class updateRun : public QObject
{
    Q_OBJECT

public:
    // 'history' may be null: the run is then followed, not recorded.
    updateRun(const runInterface &interface, const updateFileAnalysis &file, updateHistory *history, QObject *parent = nullptr);
    // A run still going is recorded as interrupted: its thread must have stopped.
    ~updateRun() override;

    // Records the start, on the disk, before any frame can go out, then makes the worker, which opens its port.
    // The caller moves it to its thread, connects it and starts it; it deletes itself when its thread finishes.
    serialPortThread *createWorker();
    // The worker made, moved to the thread, deleted when the thread finishes, the thread started and the transfer
    // asked for. It stops at its next frame boundary after its first report, as the window stops it.
    serialPortThread *start(QThread &thread);
    // The same for a worker made by createWorker(), for those who listen to the worker itself too.
    void launch(serialPortThread *worker, QThread &thread);

    runRecord record() const;
    // Why this run is not recorded; empty when it is.
    QString historyProblem() const { return notRecorded; }

public slots:
    // For a run made by start().
    void cancel();

signals:
    void lengthKnown(int lines);
    // At most ten a second, when more has gone out.
    void progressed();
    void sleepNotInhibited(const QString &reason);
    // Before the worker is made: why this run will not be recorded.
    void notRecordable(const QString &problem);
    // Once; record() then holds how it ended.
    void ended();
    void cancelRequested();

private:
    // On the worker's thread.
    void reported(const QString &message, int portError);
    void endedAs(runEnding ending, int failureKind = -1);
    // On the run's own thread.
    void tick();
    void conclude();

    updateHistory *history;
    QString copyPath, shownName; // piped input's copy goes by the name it was given
    std::unique_ptr<QLockFile> runningLock;
    QString notRecorded;
    std::shared_ptr<const transferCounts> counts;
    QTimer ticks;
    QElapsedTimer sinceCheckpoint;
    qint64 countsShown = -1, framesRecorded = 0;
    bool concluded = false;

    mutable QMutex lock;
    runRecord state; // what the worker's thread tells, under the lock
};

#endif // UPDATERUN_H
