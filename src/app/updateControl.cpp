#include "fixtureSoftwareUpdater.h"

#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>

#include "clockText.h"
#include "elidingLabel.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"
#include "printableText.h"
#include "serialPortThread.h"
#include "updateFileReader.h"

namespace {

const QString percentOnly = QStringLiteral("%p%");

} // namespace

void fixtureSoftwareUpdater::on_updateButton_clicked()
{
    if (buttonJustChanged())
        return;
    const QString buttonText = ui->updateButton->text();
    if (buttonText == QLatin1String("Finished!") || buttonText == QLatin1String("Canceled!")) {
        // After a cancel the file information is still worth showing, unless an error wiped it.
        const bool showFile = buttonText == QLatin1String("Canceled!") && !ui->applicationDisplayLabel->text().isEmpty();
        showState(showFile ? windowState::fileShown : windowState::choosing);
        return;
    }
    // What the window names, and what the run records, must be what goes out.
    if (chosenFileChanged()) {
        chooseUpdateFile(updateFile.filePath(), fileOrigin::startUp, chosenFrom.note, chosenFrom.shown);
        return;
    }
    showState(windowState::sending);
    startWorker();
}

// The one place that enables Start, turns the pages and locks the Interfaces menu, as the state and the choices
// made require. The click handler still tells Start from "Finished!" and "Canceled!" by the button's text.
void fixtureSoftwareUpdater::showState(windowState next)
{
    const bool changed = next != state, wasReading = state == windowState::readingFile;
    if (changed)
        meaningChanged.start();
    state = next;
    const bool sending = state == windowState::sending, reading = state == windowState::readingFile;
    const bool ended = state == windowState::finished || state == windowState::canceled;
    const bool idle = !sending && !reading && !ended;
    ui->infoStackedWidget->setCurrentWidget(!idle ? ui->progressPage
                                            : state == windowState::fileShown ? ui->fixtureDisplayPage : ui->selectFilePage);
    ui->updateStackedWidget->setCurrentWidget(sending || reading ? ui->cancelSendingPage : ui->startSendingPage);
    if (ended)
        ui->updateButton->setText(state == windowState::finished ? QStringLiteral("Finished!") : QStringLiteral("Canceled!"));
    else if (state == windowState::choosing || state == windowState::fileShown)
        ui->updateButton->setText(QStringLiteral("Start"));
    ui->updateButton->setEnabled(ended || (idle && startOffered && !selectedPortName.isEmpty() && !interfaceGone));
    // While an update runs the window names no interface but the one it writes to.
    portActionGroup->setEnabled(!sending);
    ui->actionRefreshPortsList->setEnabled(!sending);
    if (changed)
        showStateChange(wasReading);
}

// What goes with a new state: the progress bar's use, what belonged to the update that ended, and where the next
// key press is meant to go.
void fixtureSoftwareUpdater::showStateChange(bool wasReading)
{
    const bool sending = state == windowState::sending, reading = state == windowState::readingFile;
    const bool ended = state == windowState::finished || state == windowState::canceled;
    if (reading) {
        ui->progressBar->setRange(0, 100);
        ui->progressBar->setFormat(QStringLiteral("Reading %1: %p%").arg(printableText(candidate.file.fileName())));
    } else if (!sending) {
        ui->progressBar->setFormat(percentOnly);
        sleepLabel->hide();
        closeQuestion();
    }
    if (!sending && !reading && !ended)
        ui->progressBar->setValue(0);
    if (sending || reading)
        ui->cancelButton->setFocus();
    else if (ended || (wasReading && ui->updateButton->isEnabled()))
        ui->updateButton->setFocus();
}

// A double-click, or a key pressed twice, must not reach what the button has just become: Start becomes Cancel in
// the same place, and "Finished!" becomes Start.
bool fixtureSoftwareUpdater::buttonJustChanged() const
{
    return meaningChanged.isValid() && meaningChanged.elapsed() < QApplication::doubleClickInterval();
}

void fixtureSoftwareUpdater::startWorker()
{
    // As it was read when it was chosen, off this thread: a large file takes many seconds.
    updateFileAnalysis sent = chosenFile;
    sent.file = sent.path = updateFile.filePath();
    ui->progressBar->setFormat(percentOnly);
    runClock.start();

    // The run records its start, then makes the worker, which opens its port here, on our thread; the worker
    // owns itself from now on and is deleted when the thread finishes.
    run.reset(new updateRun(runInterface::of(selectedPortName, serialPorts), sent, &history));
    serialPortThread *worker = run->createWorker();
    // Said before the first frame.
    showUpdateNote(run->historyProblem().isEmpty() ? QString()
                                                   : QStringLiteral("This update will not be recorded in the history: %1.")
                                                         .arg(run->historyProblem()));
    worker->moveToThread(&workerThread);

    connect(&workerThread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &serialPortThread::portStatusChanged, this, &fixtureSoftwareUpdater::serialPortError);
    connect(worker, &serialPortThread::sendError, this, &fixtureSoftwareUpdater::showErrorAndReset);
    connect(worker, &serialPortThread::updateFileLength, this, &fixtureSoftwareUpdater::updateFileLength);
    connect(worker, &serialPortThread::updateProgress, this, &fixtureSoftwareUpdater::updateProgress);
    connect(worker, &serialPortThread::finished, this, &fixtureSoftwareUpdater::updateFinished);
    connect(worker, &serialPortThread::canceled, this, &fixtureSoftwareUpdater::updateCanceled);
    connect(worker, &serialPortThread::sendMessage, this, &fixtureSoftwareUpdater::recieveMessage);
    connect(this, &fixtureSoftwareUpdater::startSending, worker, &serialPortThread::startSending);
    connect(this, &fixtureSoftwareUpdater::cancelSending, worker, &serialPortThread::cancelSending);
    connect(run.get(), &updateRun::sleepNotInhibited, this, &fixtureSoftwareUpdater::sleepNotInhibited);

    workerThread.start();
    emit startSending();
}

bool fixtureSoftwareUpdater::updateRunning() const
{
    return state == windowState::sending;
}

void fixtureSoftwareUpdater::on_cancelButton_clicked()
{
    if (buttonJustChanged())
        return;
    if (state == windowState::readingFile) {
        reader->stop();
        showState(candidate.before);
        return;
    }
    askToStop(QStringLiteral("Stop the update?"), QStringLiteral("Stop Update"), [this] { emit cancelSending(); });
}

// Nothing connects it any more; kept with the window's other slots.
void fixtureSoftwareUpdater::serialPortClosing()
{
    startOffered = false;
    showState(state);
}

void fixtureSoftwareUpdater::updateFinished()
{
    showUpdateEnded(windowState::finished);
}

void fixtureSoftwareUpdater::updateCanceled()
{
    showUpdateEnded(windowState::canceled);
}

void fixtureSoftwareUpdater::showUpdateEnded(windowState ended)
{
    showState(ended);
    stopWorkerThread();
    // The thread has stopped: the run knows how it ended.
    showUpdateNote(run ? runWords::partialUpdate(run->record()) : QString());
}

void fixtureSoftwareUpdater::updateFileLength(int updateFileLength)
{
    ui->progressBar->setRange(0, updateFileLength);
}

void fixtureSoftwareUpdater::updateProgress(int progress)
{
    // The worker sends steps, not totals.
    ui->progressBar->setValue(ui->progressBar->value() + progress);
    showTimeLeft();
}

void fixtureSoftwareUpdater::showTimeLeft()
{
    // The chosen file is the one going out: nothing chooses another while it does.
    if (!updateRunning() || chosenFile.lines == 0)
        return;
    const qint64 leftMs = chosenFile.remainingMs(ui->progressBar->value(), runClock.elapsed());
    ui->progressBar->setFormat(QStringLiteral("%p% \u00b7 %1 left").arg(clockText(leftMs)));
}

void fixtureSoftwareUpdater::sleepNotInhibited(const QString &reason)
{
    if (!updateRunning())
        return;
    sleepLabel->setText(QStringLiteral("The computer may sleep during this update"));
    sleepLabel->setDetail(reason);
    sleepLabel->show();
}

// Below the controls, whichever page is shown: what the fixture holds stays until the next Start.
void fixtureSoftwareUpdater::showUpdateNote(const QString &text)
{
    updateNoteLabel->setText(text);
    updateNoteLabel->setVisible(!text.isEmpty());
}

void fixtureSoftwareUpdater::clearFileInformation()
{
    ui->applicationDisplayLabel->setText(QString());
    ui->fixtureDisplayLabel->setText(QString());
}

void fixtureSoftwareUpdater::resetUpdateState()
{
    stopWorkerThread();
    startOffered = true;
    clearFileInformation();
    checkInterface();
    showState(windowState::failed);
}

void fixtureSoftwareUpdater::showErrorAndReset(const QString &message)
{
    reportAndReset(message, QSerialPort::NoError);
}

// The advice and what the fixture holds come from the run, which knows how it ended once its worker has stopped;
// a port error code given here is the one the box tells of.
void fixtureSoftwareUpdater::reportAndReset(const QString &message, int portError)
{
    // Stop the worker before the box opens: the box's own event loop would
    // otherwise deliver its late signals (another error, finished()) and the
    // window would contradict what the operator is reading.
    const bool wasRunning = updateRunning();
    stopWorkerThread();
    closeQuestion();

    // A report with no run going is told by its code alone, for the interface of the last run.
    runRecord told;
    if (run) {
        const runRecord last = run->record();
        told = wasRunning ? last : runRecord();
        told.interface = last.interface;
    }
    if (portError != QSerialPort::NoError)
        told.portError = portError;
    QStringList below{runWords::sentence(runWords::failureAdvice(told))};
    // Told once: a second report of the same run adds nothing to it.
    if (wasRunning) {
        below << runWords::partialUpdate(told);
        showUpdateNote(below.last());
    }
    below.removeAll(QString());

    QMessageBox box(this);
    box.setWindowTitle(windowTitleText);
    setPlainTexts(box, message, below.join(QStringLiteral("\n\n")));
    box.exec();

    resetUpdateState();
}

void fixtureSoftwareUpdater::stopWorkerThread()
{
    // A running transfer only returns to the thread's event loop between
    // packets; without the cancel, quitting would wait for the rest of the file.
    emit cancelSending();
    workerThread.quit();
    workerThread.wait();

    // Every queued call to the window comes from a worker, and the one that
    // sent them is gone: what it still had to say belongs to a run that is over.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}
