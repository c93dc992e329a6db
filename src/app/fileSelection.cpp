#include "fixtureSoftwareUpdater.h"

#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"
#include "printableText.h"

namespace {

// Enough to tell a stray file from an update file with a slip in it.
constexpr int warningsShown = 5;

// The one thing kept between runs: where the dialog opens when no file is chosen.
const QString lastFolderKey = QStringLiteral("lastFolder");

std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvana"),
                                       QStringLiteral("orvana-firmware-updater"));
}

QString warningList(const updateFileAnalysis &analysis)
{
    QStringList lines;
    for (const fileWarning &warning : analysis.warnings.mid(0, warningsShown)) {
        lines << printableText(warning.line > 0 ? QStringLiteral("Line %1: %2").arg(warning.line).arg(warning.message)
                                                : warning.message);
    }
    if (analysis.warningCount > lines.size())
        lines << QStringLiteral("... and %1 more.").arg(analysis.warningCount - lines.size());
    return lines.join(QLatin1Char('\n'));
}

// The one file a drop brings, or nothing.
QString droppedFile(const QMimeData *data)
{
    const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
    return urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}

} // namespace

void fixtureSoftwareUpdater::on_selectFileButton_clicked()
{
    // Asked for a file until one is taken, or the dialog is closed.
    for (;;) {
        const QString start = updateFile.filePath().isEmpty() ? lastFolder() : updateFile.filePath();
        const QString fileName = QFileDialog::getOpenFileName(this, QStringLiteral("Select Firmware"), start,
                                                              QStringLiteral("Firmware Files ") + fileFilter);
        if (fileName.isEmpty() || chooseUpdateFile(fileName, fileOrigin::dialog) != fileChoice::chooseAnother)
            return;
    }
}

void fixtureSoftwareUpdater::on_selectFileButton_2_clicked()
{
    ui->infoStackedWidget->setCurrentWidget(ui->selectFilePage);
    on_selectFileButton_clicked();
}

fixtureSoftwareUpdater::fileChoice fixtureSoftwareUpdater::chooseUpdateFile(const QString &path, fileOrigin origin)
{
    const QFileInfo chosen(path);
    // Only a name typed into the dialog can be missing; elsewhere it is worth a word.
    if (origin == fileOrigin::dialog && !chosen.exists()) {
        clearFileInformation();
        updateFile = chosen;
        return fileChoice::failed;
    }
    if (!fileOpens(chosen))
        return fileChoice::failed;

    // The file is read as the transfer will read it; until it is taken the previous choice stands.
    const updateFileAnalysis analysis = analyzeUpdateFile(chosen.filePath());
    const fileChoice choice = fileAccepted(analysis);
    if (choice != fileChoice::taken) {
        if (choice == fileChoice::chooseAnother && origin != fileOrigin::dialog)
            on_selectFileButton_clicked();
        return choice;
    }

    clearFileInformation();
    updateFile = chosen;
    ui->fileLabel->setText(printableText(updateFile.filePath()));
    if (!selectedPortName.isEmpty())
        ui->updateButton->setEnabled(true);
    ui->applicationDisplayLabel->setText(printableText(analysis.header.applicationText()));
    ui->fixtureDisplayLabel->setText(printableText(analysis.header.fixtureText()));
    if (analysis.header.isComplete())
        ui->infoStackedWidget->setCurrentWidget(ui->fixtureDisplayPage);
    settings()->setValue(lastFolderKey, updateFile.absolutePath());
    return fileChoice::taken;
}

bool fixtureSoftwareUpdater::fileOpens(const QFileInfo &chosen)
{
    QFile file(chosen.filePath());
    // A FIFO would hold the window until something writes to it; the transfer sends only regular files.
    if (chosen.isFile() && file.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    const QString reason = !chosen.exists() || chosen.isFile() ? file.errorString() : QStringLiteral("Not a regular file");
    clearFileInformation();
    updateFile = chosen;
    ui->fileLabel->setText(printableText(updateFile.filePath()));
    qDebug() << "Couldn't open file" << reason;
    showErrorAndReset(QStringLiteral("Couldn't open file ") + reason);
    return false;
}

fixtureSoftwareUpdater::fileChoice fixtureSoftwareUpdater::fileAccepted(const updateFileAnalysis &analysis)
{
    const QString refusal = analysis.refusalToSend(false);
    if (refusal.isEmpty() && analysis.warningCount == 0)
        return fileChoice::taken;

    const QString name = printableText(QFileInfo(analysis.file).fileName());
    QMessageBox box(this);
    box.setWindowTitle(windowTitleText);
    box.setIcon(QMessageBox::Warning);
    if (!refusal.isEmpty()) {
        setPlainTexts(box, QStringLiteral("%1 is not an update file.").arg(name), printableText(refusal));
        box.exec();
        return fileChoice::refused;
    }
    setPlainTexts(box, QStringLiteral("%1 has %2 %3. Sent as it is, it may leave the fixture with a broken update.")
                           .arg(name).arg(analysis.warningCount)
                           .arg(analysis.warningCount == 1 ? QStringLiteral("warning") : QStringLiteral("warnings")),
                  warningList(analysis));
    QPushButton *useAnyway = box.addButton(QStringLiteral("Use Anyway"), QMessageBox::AcceptRole);
    QPushButton *another = box.addButton(QStringLiteral("Choose Another File"), QMessageBox::RejectRole);
    box.setDefaultButton(another);
    box.setEscapeButton(another);
    box.exec();
    return box.clickedButton() == useAnyway ? fileChoice::taken : fileChoice::chooseAnother;
}

// The oldest update file in the working directory is taken as the one to send.
void fixtureSoftwareUpdater::selectUpdateFileFromWorkingDirectory()
{
    const QFileInfoList entries = QDir().entryInfoList({QStringLiteral("*.dmx"), QStringLiteral("*.fwb")},
                                                       QDir::Files | QDir::NoSymLinks | QDir::CaseSensitive,
                                                       QDir::Time | QDir::Reversed);
    if (entries.isEmpty())
        return;
    const QFileInfo found = entries.first();
    const updateFileAnalysis analysis = analyzeUpdateFile(found.filePath());
    // Anything to say about it waits until the window is on the screen.
    if (!found.isFile() || !analysis.opened() || !analysis.refusalToSend(false).isEmpty() || analysis.warningCount > 0) {
        const QString path = found.absoluteFilePath();
        QTimer::singleShot(0, this, [this, path] { chooseUpdateFile(path, fileOrigin::startUp); });
        return;
    }
    updateFile = found;
    ui->fileLabel->setText(printableText(updateFile.filePath()));
    // Read now anyway: after a cancel the window shows the file's own header, never the form's sample texts.
    if (analysis.header.isComplete()) {
        ui->applicationDisplayLabel->setText(printableText(analysis.header.applicationText()));
        ui->fixtureDisplayLabel->setText(printableText(analysis.header.fixtureText()));
    }
}

QString fixtureSoftwareUpdater::lastFolder() const
{
    return settings()->value(lastFolderKey).toString();
}

void fixtureSoftwareUpdater::dragEnterEvent(QDragEnterEvent *event)
{
    if (!updateRunning() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void fixtureSoftwareUpdater::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (updateRunning() || path.isEmpty())
        return;
    event->acceptProposedAction();
    // A box opened inside the drop would hold the file manager's drag until it is answered.
    QTimer::singleShot(0, this, [this, path] {
        if (!updateRunning())
            chooseUpdateFile(path, fileOrigin::drop);
    });
}
