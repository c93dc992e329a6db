#include "fixtureSoftwareUpdater.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>

#include "clockText.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"
#include "serialPortThread.h"

namespace {

const QString percentOnly = QStringLiteral("%p%");

} // namespace

void fixtureSoftwareUpdater::on_updateButton_clicked()
{
    const QString buttonText = ui->updateButton->text();
    if (buttonText == QLatin1String("Finished!") || buttonText == QLatin1String("Canceled!")) {
        ui->updateButton->setText(QStringLiteral("Start"));
        ui->progressBar->setValue(0);
        // After a cancel the file information is still worth showing, unless an error wiped it.
        const bool showFile = buttonText == QLatin1String("Canceled!") && !ui->applicationDisplayLabel->text().isEmpty();
        ui->infoStackedWidget->setCurrentWidget(showFile ? ui->fixtureDisplayPage : ui->selectFilePage);
        return;
    }

    ui->updateButton->setEnabled(false);
    ui->infoStackedWidget->setCurrentWidget(ui->progressPage);
    ui->updateStackedWidget->setCurrentIndex(1);
    ui->cancelButton->setFocus();
    setInterfacesChangeable(false);
    startWorker();
}

void fixtureSoftwareUpdater::startWorker()
{
    // For the time left and the history: the worker reads the file again, and a FIFO would hold the window here.
    runFile = updateFile.isFile() ? analyzeUpdateFile(updateFile.filePath()) : updateFileAnalysis();
    runFile.file = runFile.path = updateFile.filePath();
    ui->progressBar->setFormat(percentOnly);
    runClock.start();

    // The run records its start, then makes the worker, which opens its port here, on our thread; the worker
    // owns itself from now on and is deleted when the thread finishes.
    run.reset(new updateRun(runInterface::of(selectedPortName, serialPorts), runFile, &history));
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
    return ui->updateStackedWidget->currentWidget() == ui->cancelSendingPage;
}

// While an update runs the window names no interface but the one it writes to.
void fixtureSoftwareUpdater::setInterfacesChangeable(bool changeable)
{
    portActionGroup->setEnabled(changeable);
    ui->actionRefreshPortsList->setEnabled(changeable);
}

void fixtureSoftwareUpdater::on_cancelButton_clicked()
{
    emit cancelSending();
}

// Nothing connects it any more; kept with the window's other slots.
void fixtureSoftwareUpdater::serialPortClosing()
{
    ui->updateButton->setEnabled(false);
}

void fixtureSoftwareUpdater::updateFinished()
{
    showUpdateEnded(QStringLiteral("Finished!"));
}

void fixtureSoftwareUpdater::updateCanceled()
{
    showUpdateEnded(QStringLiteral("Canceled!"));
}

void fixtureSoftwareUpdater::showUpdateEnded(const QString &buttonText)
{
    ui->updateStackedWidget->setCurrentIndex(0);
    ui->updateButton->setText(buttonText);
    ui->updateButton->setEnabled(true);
    stopWorkerThread();
    ui->updateButton->setFocus();
    ui->progressBar->setFormat(percentOnly);
    sleepLabel->hide();
    setInterfacesChangeable(true);
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
    if (!updateRunning() || runFile.lines == 0)
        return;
    const qint64 leftMs = runFile.remainingMs(ui->progressBar->value(), runClock.elapsed());
    ui->progressBar->setFormat(QStringLiteral("%p% \u00b7 %1 left").arg(clockText(leftMs)));
}

void fixtureSoftwareUpdater::sleepNotInhibited(const QString &reason)
{
    if (!updateRunning())
        return;
    // The reason can be a long system message: beside the interface's name it would widen the window.
    sleepLabel->setText(QStringLiteral("The computer may sleep during this update"));
    sleepLabel->setToolTip(reason);
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
    ui->updateButton->setEnabled(true);
    ui->infoStackedWidget->setCurrentWidget(ui->selectFilePage);
    ui->progressBar->setValue(0);
    ui->updateStackedWidget->setCurrentIndex(0);
    clearFileInformation();
    ui->progressBar->setFormat(percentOnly);
    sleepLabel->hide();
    setInterfacesChangeable(true);
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

    QMessageBox box;
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
