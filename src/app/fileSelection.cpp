#include "fixtureSoftwareUpdater.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>

#include "fixtureSoftwareUpdaterForm.h"

namespace {

const int headerFieldCount = 4;
const int headerLineBufferSize = 512;

// One header field: "#" and the rest of the line. Anything else consumes a
// single byte and leaves the field empty, so a missing "#" throws the next
// attempts into the middle of that line.
QString readHeaderField(QFile &file)
{
    char firstByte = 0;
    if (!file.getChar(&firstByte) || firstByte != '#')
        return QString();

    char line[headerLineBufferSize];
    const qint64 bytesRead = file.readLine(line, sizeof line);
    if (bytesRead <= 1)
        return QString();
    // The last byte is the line feed, or the byte a too long line is cut at.
    return QString::fromUtf8(line, int(bytesRead - 1));
}

} // namespace

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
    if (!file.exists() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Couldn't open file" << file.errorString();
        showErrorAndReset(QStringLiteral("Couldn't open file ") + file.errorString());
        return;
    }

    if (!selectedPortName.isEmpty())
        ui->updateButton->setEnabled(true);

    QString fields[headerFieldCount];
    for (QString &field : fields)
        field = readHeaderField(file);
    QString &application = fields[0];
    const QString &vendor = fields[1];
    const QString &fixture = fields[2];
    const QString &version = fields[3];

    if (!application.isEmpty())
        application[0] = application.at(0).toUpper();

    ui->applicationDisplayLabel->setText(application + QLatin1Char(' ') + version);
    ui->fixtureDisplayLabel->setText(vendor + QLatin1Char(' ') + fixture);

    if (!application.isEmpty() && !vendor.isEmpty() && !fixture.isEmpty() && !version.isEmpty())
        ui->infoStackedWidget->setCurrentWidget(ui->fixtureDisplayPage);
}

void fixtureSoftwareUpdater::on_selectFileButton_2_clicked()
{
    ui->infoStackedWidget->setCurrentWidget(ui->selectFilePage);
    on_selectFileButton_clicked();
}
