#include "fixtureSoftwareUpdater.h"

void fixtureSoftwareUpdater::on_updateButton_clicked() {}
void fixtureSoftwareUpdater::on_cancelButton_clicked() {}
void fixtureSoftwareUpdater::serialPortClosing() {}
void fixtureSoftwareUpdater::updateFinished() {}
void fixtureSoftwareUpdater::updateCanceled() {}
void fixtureSoftwareUpdater::updateFileLength(int) {}
void fixtureSoftwareUpdater::updateProgress(int) {}
void fixtureSoftwareUpdater::clearFileInformation() {}
void fixtureSoftwareUpdater::resetUpdateState() {}
void fixtureSoftwareUpdater::showErrorAndReset(const QString &) {}

void fixtureSoftwareUpdater::stopWorkerThread()
{
    workerThread.quit();
    workerThread.wait();
}
