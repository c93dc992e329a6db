#include "inspectCommand.h"

#include "exitCodes.h"
#include "terminalOutput.h"
#include "updateFileAnalysis.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject toJson(const updateFileAnalysis &analysis)
{
    const updateFileHeader &header = analysis.header;
    QJsonArray warnings;
    for (const fileWarning &warning : analysis.warnings.warnings())
        warnings.append(QJsonObject{{"line", warning.line}, {"kind", warning.kind}, {"message", warning.message}});
    return QJsonObject{
        {"file", analysis.file},
        {"sha256", textOrNull(QString::fromLatin1(analysis.sha256))},
        {"header", QJsonObject{{"application", header.application}, {"vendor", header.vendor},
                               {"fixture", header.fixture}, {"version", header.version}}},
        {"lines", analysis.lines},
        {"packetLines", analysis.packetLines},
        {"commentLines", analysis.commentLines},
        {"frames", analysis.tally.frames},
        {"packetBytes", analysis.tally.packetBytes},
        {"holdTimeMs", analysis.tally.holdTimeMs},
        {"wireTimeUs", analysis.tally.wireTimeUs},
        {"warnings", warnings},
        {"warningCount", analysis.warnings.count()},
        {"refused", textOrNull(analysis.refused)},
    };
}

QString duration(qint64 microseconds)
{
    return QStringLiteral("%1 s").arg(double(microseconds) / 1e6, 0, 'f', 3);
}

void printReport(const updateFileAnalysis &analysis)
{
    const auto line = [](const QString &text) { terminalOutput::printLine(stdout, text); };
    const frameTally &tally = analysis.tally;
    line(QStringLiteral("File:         %1").arg(analysis.file));
    if (!analysis.sha256.isEmpty())
        line(QStringLiteral("SHA-256:      %1").arg(QString::fromLatin1(analysis.sha256)));
    line(QStringLiteral("Fixture:      %1").arg(analysis.header.fixtureText()));
    line(QStringLiteral("Application:  %1").arg(analysis.header.applicationText()));
    line(QStringLiteral("Lines:        %1 (%2 packet lines, %3 comment lines)")
             .arg(analysis.lines).arg(analysis.packetLines).arg(analysis.commentLines));
    line(QStringLiteral("Frames:       %1 (%2 packet bytes)").arg(tally.frames).arg(tally.packetBytes));
    line(QStringLiteral("Hold time:    %1").arg(duration(tally.holdTimeMs * 1000)));
    line(QStringLiteral("Wire time:    %1 at best").arg(duration(tally.wireTimeUs)));
    for (const fileWarning &warning : analysis.warnings.warnings())
        line(QStringLiteral("Line %1: %2").arg(warning.line).arg(warning.message));
    const qint64 unlisted = analysis.warnings.count() - analysis.warnings.warnings().size();
    if (unlisted > 0)
        line(QStringLiteral("... and %1 more warnings").arg(unlisted));
    if (!analysis.refused.isEmpty())
        line(QStringLiteral("Refused:      %1").arg(analysis.refused));
}

} // namespace

int inspectCommand(const QString &path, bool json, bool strict)
{
    const updateFileAnalysis analysis = analyzeUpdateFile(path);
    if (!analysis.opened()) {
        terminalOutput::printError(analysis.openFailure);
        return exitCode::fileUnreadable;
    }
    if (json)
        terminalOutput::print(stdout, QString::fromUtf8(QJsonDocument(toJson(analysis)).toJson()));
    else
        printReport(analysis);
    if (!analysis.refused.isEmpty())
        return exitCode::fileRefused;
    return strict && analysis.warnings.count() > 0 ? exitCode::fileRefused : exitCode::finished;
}
