#include "fixtureSoftwareUpdater.h"

#include <QDateTime>
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

#include "elidingLabel.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"
#include "printableText.h"
#include "updateFileReader.h"

namespace {

// Enough to tell a stray file from an update file with a slip in it.
constexpr int warningsShown = 5;
// An update that keeps the fixture busy longer is worth a word before it is taken.
constexpr qint64 longestPlainUpdateUs = 10 * 60 * 1000000LL;

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

QString durationText(qint64 milliseconds)
{
    const qint64 minutes = (milliseconds + 30000) / 60000;
    return minutes < 120 ? QStringLiteral("about %1 minutes").arg(minutes)
                         : QStringLiteral("about %1 hours %2 minutes").arg(minutes / 60).arg(minutes % 60);
}

// Whatever page is shown, and during and after an update: which file, for which fixture, which version, and
// what was said when it was taken.
QString chosenFileText(const QString &name, const updateFileAnalysis &analysis, const QString &note)
{
    const updateFileHeader &header = analysis.header;
    QStringList parts{printableText(name), header.isComplete() ? printableText(header.fixtureText() + QStringLiteral(", ")
                                                                                + header.applicationText())
                                                              : QStringLiteral("no fixture named in its header")};
    if (analysis.warningCount > 0)
        parts << QStringLiteral("used anyway, with %1 %2").arg(analysis.warningCount)
                     .arg(analysis.warningCount == 1 ? QStringLiteral("warning") : QStringLiteral("warnings"));
    if (analysis.wireTimeUs > longestPlainUpdateUs)
        parts << QStringLiteral("takes %1").arg(durationText(analysis.wireTimeUs / 1000));
    if (!note.isEmpty())
        parts << note;
    return parts.join(QStringLiteral(" \u00b7 "));
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
    const QString start = updateFile.filePath().isEmpty() ? lastFolder() : updateFile.filePath();
    QFileDialog dialog(this, QStringLiteral("Select Firmware"), start, QStringLiteral("Firmware Files ") + fileFilter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.resize(dialog.sizeHint());
    fitIntoScreen(&dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chooseUpdateFile(dialog.selectedFiles().constFirst(), fileOrigin::dialog);
}

void fixtureSoftwareUpdater::on_selectFileButton_2_clicked()
{
    showState(windowState::choosing);
    on_selectFileButton_clicked();
}

// The file is read as the transfer will read it, off this thread; until it is taken the previous choice stands.
void fixtureSoftwareUpdater::chooseUpdateFile(const QString &path, fileOrigin origin, const QString &note,
                                              const QString &shown)
{
    const QFileInfo chosen(path);
    // Only a name typed into the dialog can be missing; elsewhere it is worth a word.
    if ((origin == fileOrigin::dialog && !chosen.exists()) || !fileOpens(chosen))
        return;
    candidate = {chosen, shown.isEmpty() ? path : shown, origin, note,
                 state == windowState::fileShown ? windowState::fileShown : windowState::choosing};
    reader->read(chosen.absoluteFilePath());
    showState(windowState::readingFile);
}

// Read, the file is taken, or asked about, or refused; until then the window shows what was read.
void fixtureSoftwareUpdater::fileRead(const updateFileAnalysis &analysis)
{
    const fileChoice choice = fileAccepted(analysis);
    if (choice == fileChoice::taken)
        return takeFile(analysis);
    showState(candidate.before);
    if (choice == fileChoice::chooseAnother)
        on_selectFileButton_clicked();
}

void fixtureSoftwareUpdater::takeFile(const updateFileAnalysis &analysis)
{
    clearFileInformation();
    updateFile = candidate.file;
    chosenFile = analysis;
    chosenFrom = candidate;
    ui->fileLabel->setText(printableText(chosenFrom.shown));
    if (!selectedPortName.isEmpty())
        startOffered = true;
    ui->applicationDisplayLabel->setText(printableText(analysis.header.applicationText()));
    ui->fixtureDisplayLabel->setText(printableText(analysis.header.fixtureText()));

    chosenFileLabel->setText(chosenFileText(updateFile.fileName(), analysis, chosenFrom.note));
    // At start-up the window opens on the file's path, as it always has.
    const bool showHeader = analysis.header.isComplete() && chosenFrom.origin != fileOrigin::startUp;
    showState(showHeader ? windowState::fileShown : chosenFrom.before);
    // A file found where the updater was started is not a folder the operator went to.
    if (chosenFrom.origin != fileOrigin::startUp)
        settings()->setValue(lastFolderKey, updateFile.absolutePath());
}

bool fixtureSoftwareUpdater::fileOpens(const QFileInfo &chosen)
{
    QFile file(chosen.filePath());
    // A FIFO would hold the window until something writes to it; the transfer sends only regular files.
    if (chosen.isFile() && file.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    const QString reason = !chosen.exists() || chosen.isFile() ? file.errorString() : QStringLiteral("Not a regular file");
    qDebug() << "Couldn't open file" << reason;
    // The file chosen before stays chosen.
    showErrorAndReset(QStringLiteral("Couldn't open file ") + reason);
    return false;
}

fixtureSoftwareUpdater::fileChoice fixtureSoftwareUpdater::fileAccepted(const updateFileAnalysis &analysis)
{
    const QString refusal = analysis.opened() ? analysis.refusalToSend(false) : analysis.openFailure;
    const bool takesLong = analysis.wireTimeUs > longestPlainUpdateUs;
    if (refusal.isEmpty() && analysis.warningCount == 0 && !takesLong)
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
    QStringList question;
    if (analysis.warningCount > 0)
        question << QStringLiteral("%1 has %2 %3. Sent as it is, it may leave the fixture with a broken update.")
                        .arg(name).arg(analysis.warningCount)
                        .arg(analysis.warningCount == 1 ? QStringLiteral("warning") : QStringLiteral("warnings"));
    if (takesLong)
        question << QStringLiteral("%1 takes %2 to send; the fixture must stay powered and connected all that time.")
                        .arg(analysis.warningCount > 0 ? QStringLiteral("It") : name, durationText(analysis.wireTimeUs / 1000));
    setPlainTexts(box, question.join(QLatin1Char(' ')), warningList(analysis));
    QPushButton *useAnyway = box.addButton(QStringLiteral("Use Anyway"), QMessageBox::AcceptRole);
    QPushButton *another = box.addButton(QStringLiteral("Choose Another File"), QMessageBox::RejectRole);
    box.setDefaultButton(another);
    box.setEscapeButton(another);
    box.exec();
    return box.clickedButton() == useAnyway ? fileChoice::taken : fileChoice::chooseAnother;
}

// What changed on the disk since the file was chosen: updateFile keeps the size and time it read then.
bool fixtureSoftwareUpdater::chosenFileChanged() const
{
    const QFileInfo now(updateFile.filePath());
    return now.exists() && (now.size() != updateFile.size() || now.lastModified() != updateFile.lastModified());
}

// The oldest update file in the working directory is taken as the one to send.
void fixtureSoftwareUpdater::selectUpdateFileFromWorkingDirectory()
{
    const QFileInfoList entries = QDir().entryInfoList({QStringLiteral("*.dmx"), QStringLiteral("*.fwb")},
                                                       QDir::Files | QDir::NoSymLinks | QDir::CaseSensitive,
                                                       QDir::Time | QDir::Reversed);
    if (entries.isEmpty())
        return;
    // With v1.04 and v1.05 side by side, the technician must see that there was a choice.
    const QString note = entries.size() == 1 ? QString()
                                             : QStringLiteral("%1 update files here: the oldest is chosen").arg(entries.size());
    const QString path = entries.first().absoluteFilePath(), shown = entries.first().filePath();
    // Read once the window is on the screen, where anything to say about the file belongs.
    askAtStartUp([this, path, note, shown] { chooseUpdateFile(path, fileOrigin::startUp, note, shown); });
}

QString fixtureSoftwareUpdater::lastFolder() const
{
    return settings()->value(lastFolderKey).toString();
}

bool fixtureSoftwareUpdater::takesDrops() const
{
    return state != windowState::sending && state != windowState::readingFile;
}

void fixtureSoftwareUpdater::dragEnterEvent(QDragEnterEvent *event)
{
    if (takesDrops() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void fixtureSoftwareUpdater::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (!takesDrops() || path.isEmpty())
        return;
    event->acceptProposedAction();
    // A box opened inside the drop would hold the file manager's drag until it is answered.
    QTimer::singleShot(0, this, [this, path] {
        if (takesDrops())
            chooseUpdateFile(path, fileOrigin::drop);
    });
}
