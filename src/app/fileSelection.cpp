#include "fixtureSoftwareUpdater.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>

#include "fixtureSoftwareUpdaterForm.h"
#include "updateFileHeader.h"

void fixtureSoftwareUpdater::on_selectFileButton_clicked()
{
    const QString fileName = QFileDialog::getOpenFileName(this, QStringLiteral("Select Firmware"),
                                                          updateFile.filePath(),
                                                          QStringLiteral("Firmware Files ") + fileFilter);
    if (fileName.isEmpty())
        return;

    clearFileInformation();
    updateFile = QFileInfo(fileName);
    if (!updateFile.exists())
        return;
    ui->fileLabel->setText(updateFile.filePath());

    QFile file(updateFile.filePath());
    // A FIFO typed into the dialog would hold the window until something writes to it.
    if (!updateFile.isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString reason = updateFile.isFile() ? file.errorString() : QStringLiteral("Not a regular file");
        qDebug() << "Couldn't open file" << reason;
        showErrorAndReset(QStringLiteral("Couldn't open file ") + reason);
        return;
    }

    if (!selectedPortName.isEmpty())
        ui->updateButton->setEnabled(true);

    const updateFileHeader header = readUpdateFileHeader(file);
    ui->applicationDisplayLabel->setText(header.applicationText());
    ui->fixtureDisplayLabel->setText(header.fixtureText());

    if (header.isComplete())
        ui->infoStackedWidget->setCurrentWidget(ui->fixtureDisplayPage);
}

void fixtureSoftwareUpdater::on_selectFileButton_2_clicked()
{
    ui->infoStackedWidget->setCurrentWidget(ui->selectFilePage);
    on_selectFileButton_clicked();
}
