#include "fixtureSoftwareUpdater.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include "fixtureSoftwareUpdaterForm.h"
#include "serialPortThread.h"

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
    startWorker();
}

void fixtureSoftwareUpdater::startWorker()
{
    // The worker opens its port here, on our thread; it owns itself from now on
    // and is deleted when the thread finishes.
    auto *worker = new serialPortThread(selectedPortName, updateFile);
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

    workerThread.start();
    emit startSending();
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
    ui->updateStackedWidget->setCurrentIndex(0);
    ui->updateButton->setText(QStringLiteral("Finished!"));
    ui->updateButton->setEnabled(true);
    stopWorkerThread();
}

void fixtureSoftwareUpdater::updateCanceled()
{
    ui->updateStackedWidget->setCurrentIndex(0);
    ui->updateButton->setText(QStringLiteral("Canceled!"));
    ui->updateButton->setEnabled(true);
    stopWorkerThread();
}

void fixtureSoftwareUpdater::updateFileLength(int updateFileLength)
{
    ui->progressBar->setRange(0, updateFileLength);
}

void fixtureSoftwareUpdater::updateProgress(int progress)
{
    // The worker sends steps, not totals.
    ui->progressBar->setValue(ui->progressBar->value() + progress);
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
}

void fixtureSoftwareUpdater::showErrorAndReset(const QString &message)
{
    // Stop the worker before the box opens: the box's own event loop would
    // otherwise deliver its late signals (another error, finished()) and the
    // window would contradict what the operator is reading.
    stopWorkerThread();

    QMessageBox box;
    box.setText(message);
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
