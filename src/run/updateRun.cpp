#include "updateRun.h"

#include "serialPortErrorText.h"
#include "serialPortThread.h"
#include "updateHistory.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <QUuid>

#include <utility>

namespace {

constexpr int tickMs = 100; // progress as often as a person can read it
constexpr qint64 checkpointMs = 2000;

} // namespace

updateRun::updateRun(const runInterface &interface, const updateFileAnalysis &file, updateHistory *history, QObject *parent)
    : QObject(parent), history(history), copyPath(file.path), shownName(file.file)
{
    state.program = QCoreApplication::applicationName();
    state.pid = QCoreApplication::applicationPid();
    state.interface = interface;
    // Piped input has no path of its own.
    state.path = QFileInfo(file.file).isFile() ? QFileInfo(file.file).absoluteFilePath() : file.file;
    state.name = QFileInfo(file.file).fileName();
    state.size = QFileInfo(file.path).size();
    state.sha256 = file.sha256;
    state.header = file.header;
    state.lines = int(file.lines);
    ticks.setInterval(tickMs);
    connect(&ticks, &QTimer::timeout, this, &updateRun::tick);
}

updateRun::~updateRun()
{
    if (concluded || !counts)
        return;
    {
        const QMutexLocker locked(&lock);
        if (state.ending == runEnding::running)
            state.ending = runEnding::interrupted;
    }
    // Recorded, but told to nobody: those who listen may be going too.
    blockSignals(true);
    conclude();
}

serialPortThread *updateRun::createWorker()
{
    state.runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    state.started = QDateTime::currentDateTimeUtc();
    if (history) {
        runningLock = history->holdRunning(state.runId);
        notRecorded = history->recordStart(state);
    }
    if (!notRecorded.isEmpty()) {
        runningLock.reset();
        emit notRecordable(notRecorded);
    }

    auto *worker = new serialPortThread(state.interface.device.isEmpty() ? state.interface.portName : state.interface.device,
                                        QFileInfo(copyPath));
    counts = worker->counts();
    // Direct: told on the worker's thread before its slot returns, so complete once that thread has stopped.
    connect(worker, &serialPortThread::sendError, this, [this](const QString &text) { reported(text, 0); }, Qt::DirectConnection);
    connect(worker, &serialPortThread::portStatusChanged, this, [this](qlonglong code) {
        const QString text = serialPortErrorMessage(int(code));
        // The window has no words for such a code and silently resets; a record needs some.
        reported(text.isEmpty() ? QStringLiteral("Serialport Error: %1").arg(code) : text, int(code));
    }, Qt::DirectConnection);
    connect(worker, &serialPortThread::finished, this, [this] { endedAs(runEnding::finished); }, Qt::DirectConnection);
    connect(worker, &serialPortThread::canceled, this, [this] { endedAs(runEnding::canceled); }, Qt::DirectConnection);
    connect(worker, &serialPortThread::transferFailed, this, [this](int kind) { endedAs(runEnding::failed, kind); },
            Qt::DirectConnection);
    connect(worker, &serialPortThread::updateFileLength, this, [this](int lines) {
        {
            const QMutexLocker locked(&lock);
            state.lines = lines;
        }
        emit lengthKnown(lines);
    });
    connect(worker, &serialPortThread::sleepNotInhibited, this, &updateRun::sleepNotInhibited);
    sinceCheckpoint.start();
    ticks.start();
    return worker;
}

serialPortThread *updateRun::start(QThread &thread)
{
    serialPortThread *worker = createWorker();
    launch(worker, thread);
    return worker;
}

void updateRun::launch(serialPortThread *worker, QThread &thread)
{
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(this, &updateRun::cancelRequested, worker, &serialPortThread::cancelSending);
    thread.start();
    QMetaObject::invokeMethod(worker, &serialPortThread::startSending, Qt::QueuedConnection);
}

void updateRun::cancel()
{
    emit cancelRequested();
}

runRecord updateRun::record() const
{
    const QMutexLocker locked(&lock);
    runRecord now = state;
    if (counts) {
        now.linesOut = counts->linesOut.load(std::memory_order_relaxed);
        now.frames = counts->frames.load(std::memory_order_relaxed);
        now.linesPassed = counts->linesPassed.load(std::memory_order_relaxed);
    }
    return now;
}

// The first report is the one the window shows; the worker then stops at its next frame boundary.
void updateRun::reported(const QString &message, int portError)
{
    {
        const QMutexLocker locked(&lock);
        if (!state.message.isEmpty())
            return;
        state.message = copyPath == shownName ? message : QString(message).replace(copyPath, shownName);
        state.portError = portError;
    }
    emit cancelRequested();
}

void updateRun::endedAs(runEnding ending, int failureKind)
{
    {
        const QMutexLocker locked(&lock);
        if (state.ending != runEnding::running)
            return;
        // A report that did not stop the worker fails the update all the same, as in the window.
        const bool failed = ending == runEnding::failed || !state.message.isEmpty();
        state.ending = failed ? runEnding::failed : ending;
        state.failureKind = failureKind >= 0 ? failureKind : failed ? int(serialPortThread::failedOnTheWay) : -1;
        state.ended = QDateTime::currentDateTimeUtc();
    }
    QMetaObject::invokeMethod(this, &updateRun::conclude, Qt::QueuedConnection);
}

void updateRun::tick()
{
    const runRecord now = record();
    // Each count only grows: their sum changes whenever one of them does.
    const qint64 shown = now.frames + now.linesOut + now.linesPassed;
    if (shown != std::exchange(countsShown, shown))
        emit progressed();
    if (history && notRecorded.isEmpty() && sinceCheckpoint.elapsed() >= checkpointMs && now.frames != framesRecorded) {
        sinceCheckpoint.restart();
        framesRecorded = now.frames;
        history->recordProgress(now);
    }
}

void updateRun::conclude()
{
    if (concluded)
        return;
    concluded = true;
    ticks.stop();
    if (history && notRecorded.isEmpty())
        history->recordEnd(record());
    runningLock.reset();
    emit progressed();
    emit ended();
}
