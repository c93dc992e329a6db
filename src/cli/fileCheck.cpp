// The update file as inspect and send both take it: named, checked, and judged before any interface is opened.
#include "commands.h"
#include "onceReadInput.h"
#include "printableText.h"
#include "stopSignals.h"
#include "terminal.h"
#include "updateFileAnalysis.h"

#include <QFileInfo>
#include <QTemporaryFile>

namespace {

bool isReadOnce(const QString &path)
{
    const QFileInfo info(path);
    return path == QLatin1String("-") || (info.exists() && !info.isFile() && !info.isDir());
}

// Read once, into a copy that can be counted and then sent.
checkedUpdateFile copyOnceReadInput(const updateFileArgument &file, const std::function<bool()> &stopRequested)
{
    onceReadInput input(file.path);
    auto copy = std::make_shared<QTemporaryFile>();
    if (!input.open())
        return {unopenedUpdateFile(file.name, input.failure), nullptr};
    if (!copy->open())
        return {unopenedUpdateFile(file.name, copy->errorString()), nullptr};
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    qint64 length;
    while ((length = input.read(chunk.data(), chunk.size(), stopRequested)) > 0 && copy->size() + length <= maxCopiedInput)
        copy->write(chunk.constData(), length);
    if (length < 0 || !copy->flush())
        return {unopenedUpdateFile(file.name, length < 0 ? input.failure : copy->errorString()), nullptr};
    checkedUpdateFile checked{updateFileAnalysis(), copy};
    checked.analysis.file = file.name;
    checked.analysis.path = copy->fileName();
    checked.analysis.stopped = input.stopped;
    if (length > 0)
        checked.analysis.refused = QStringLiteral("Update file too large to be read from a pipe (over 64 MiB):") + file.name;
    return checked;
}

} // namespace

checkedUpdateFile checkUpdateFile(const updateFileArgument &file)
{
    const QString hint = file.path == QLatin1String("-") ? terminal::terminalInputHint() : QString();
    if (!hint.isEmpty())
        terminal::printError(hint);
    const auto stopRequested = [] { return stopSignals::lastCaught() != 0; };
    if (!isReadOnce(file.path))
        return {analyzeUpdateFile(file.path, {file.name, stopRequested}), nullptr};
    checkedUpdateFile checked = copyOnceReadInput(file, stopRequested);
    if (checked.analysis.opened() && checked.analysis.refused.isEmpty() && !checked.analysis.stopped)
        checked.analysis = analyzeUpdateFile(checked.copy->fileName(), {file.name, stopRequested});
    return checked;
}

fileVerdict judgeUpdateFile(const updateFileAnalysis &analysis, const fileChecks &checks, bool sending)
{
    // A signal that came after the check still stops the command before any interface is opened.
    if (analysis.stopped || stopSignals::lastCaught() != 0)
        return {stopSignals::name(stopSignals::lastCaught()) + QStringLiteral(": canceled while the update file was read")
                    + (sending ? QStringLiteral("; no interface was opened") : QString()),
                exitCode::canceled};
    if (!analysis.opened())
        return {analysis.openFailure, exitCode::fileUnreadable};
    // What a script downloaded and checked must be what goes out.
    if (analysis.refused.isEmpty() && !checks.expectedSha256.isEmpty() && analysis.sha256 != checks.expectedSha256)
        return {QStringLiteral("Update file's SHA-256 is %1, not the expected %2:").arg(QString::fromLatin1(analysis.sha256),
                    QString::fromLatin1(checks.expectedSha256)) + analysis.file,
                exitCode::fileRefused};
    const QString refusal = sending ? analysis.refusalToSend(checks.strict) : analysis.refusal(checks.strict);
    return {refusal, refusal.isEmpty() ? exitCode::finished : exitCode::fileRefused};
}

void printWarnings(const updateFileAnalysis &analysis)
{
    const QString file = printableText(analysis.file);
    for (const fileWarning &warning : analysis.warnings) {
        const QString where = warning.line > 0 ? QStringLiteral("%1:%2").arg(file).arg(warning.line) : file;
        terminal::printLine(stderr, where + QStringLiteral(": warning: ") + printableText(warning.message));
    }
    if (analysis.warningCount > analysis.warnings.size())
        terminal::printLine(stderr, QStringLiteral("%1: ... and %2 more warnings")
                                        .arg(file).arg(analysis.warningCount - analysis.warnings.size()));
}
