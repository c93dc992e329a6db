// The update file as inspect and send both take it: named, checked, and judged before any interface is opened.
#include "commands.h"
#include "printableText.h"
#include "stopSignals.h"
#include "terminal.h"
#include "updateFileAnalysis.h"

#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <climits>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The name as the locale spells what it can; each byte it cannot, as \xe9.
QString shownName(const QByteArray &raw)
{
    QString shown;
    for (int at = 0; at < raw.size();) {
        int length = 4; // the longest a character takes
        while (length > 0 && QFile::encodeName(QFile::decodeName(raw.mid(at, length))) != raw.mid(at, length))
            --length;
        shown += length > 0 ? QFile::decodeName(raw.mid(at, length))
                            : QStringLiteral("\\x%1").arg(uchar(raw.at(at)), 2, 16, QLatin1Char('0'));
        at += qMax(length, 1);
    }
    return shown;
}
#endif

} // namespace

updateFileArgument updateFileArgumentFor(const QString &given, const QByteArrayList &rawArguments)
{
#ifdef Q_OS_UNIX
    // Qt decodes a name it cannot spell with a replacement character, and then opens another name: a link
    // under a name it can spell leads the analysis and the worker to the file.
    for (const QByteArray &raw : rawArguments) {
        if (QFile::decodeName(raw) != given || QFile::encodeName(given) == raw)
            continue;
        char folder[PATH_MAX];
        const QByteArray target = raw.startsWith('/') || !getcwd(folder, sizeof folder) ? raw : QByteArray(folder) + '/' + raw;
        auto links = std::make_shared<QTemporaryDir>();
        const QString link = links->filePath(QStringLiteral("update-file"));
        if (links->isValid() && symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
            return {shownName(raw), link, links};
    }
#else
    Q_UNUSED(rawArguments);
#endif
    return {given, given, nullptr};
}

updateFileAnalysis checkUpdateFile(const updateFileArgument &file)
{
#ifdef Q_OS_UNIX
    if (file.path == QLatin1String("-") && isatty(STDIN_FILENO) == 1)
        terminal::printError(QStringLiteral("reading the update file from standard input, a terminal; "
                                            "Ctrl-D on a line of its own ends it"));
#endif
    return analyzeUpdateFile(file.path, {file.name, [] { return stopSignals::lastCaught() != 0; }});
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
