#include "commands.h"
#include "printableText.h"
#include "stopSignals.h"
#include "terminal.h"
#include "updateFileAnalysis.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject toJson(const updateFileAnalysis &analysis, const QString &refusal)
{
    const updateFileHeader &header = analysis.header;
    QJsonArray warnings;
    for (const fileWarning &warning : analysis.warnings)
        warnings.append(QJsonObject{{"line", warning.line}, {"kind", warning.kind}, {"message", warning.message}});
    return QJsonObject{{"file", analysis.file}, {"sha256", textOrNull(QString::fromLatin1(analysis.sha256))},
                       {"header", QJsonObject{{"application", header.application}, {"vendor", header.vendor},
                                              {"fixture", header.fixture}, {"version", header.version}}},
                       {"lines", analysis.lines}, {"packetLines", analysis.packetLines}, {"commentLines", analysis.commentLines},
                       {"frames", analysis.frames}, {"packetBytes", analysis.packetBytes}, {"holdTimeMs", analysis.holdTimeMs},
                       {"wireTimeUs", analysis.wireTimeUs}, {"warnings", warnings}, {"warningCount", analysis.warningCount},
                       {"refused", textOrNull(refusal)}};
}

QString duration(qint64 microseconds)
{
    return QStringLiteral("%1 s").arg(double(microseconds) / 1e6, 0, 'f', 3);
}

// Names from the file, and the file's own, shown escaped: they must not drive the terminal.
void printReport(const updateFileAnalysis &analysis)
{
    const auto line = [](const QString &text) { terminal::printLine(stdout, printableText(text)); };
    line(QStringLiteral("File:         %1").arg(analysis.file));
    if (!analysis.sha256.isEmpty())
        line(QStringLiteral("SHA-256:      %1").arg(QString::fromLatin1(analysis.sha256)));
    line(QStringLiteral("Fixture:      %1").arg(analysis.header.fixtureText()));
    line(QStringLiteral("Application:  %1").arg(analysis.header.applicationText()));
    line(QStringLiteral("Lines:        %1 (%2 packet lines, %3 comment lines)")
             .arg(analysis.lines).arg(analysis.packetLines).arg(analysis.commentLines));
    line(QStringLiteral("Frames:       %1 (%2 packet bytes)").arg(analysis.frames).arg(analysis.packetBytes));
    line(QStringLiteral("Hold time:    %1").arg(duration(analysis.holdTimeMs * 1000)));
    line(QStringLiteral("Wire time:    %1 at best").arg(duration(analysis.wireTimeUs)));
}

void printJson(QJsonObject object, int status)
{
    object.insert(QStringLiteral("exitCode"), status);
    terminal::printJson(QJsonDocument(object));
}

} // namespace

int inspectCommand(const updateFileArgument &file, bool json, const fileChecks &checks)
{
    const stopSignals caught;
    const checkedUpdateFile checked = checkUpdateFile(file);
    const updateFileAnalysis &analysis = checked.analysis;
    const fileVerdict verdict = judgeUpdateFile(analysis, checks, false);
    if (!analysis.opened() || analysis.stopped) {
        terminal::startLineAfterInterrupt();
        terminal::printError(verdict.refusal);
        if (json)
            printJson({{"file", analysis.file}, {"error", verdict.refusal.section(QLatin1Char('\n'), 0, 0)}}, verdict.status);
        return verdict.status;
    }
    if (json)
        printJson(toJson(analysis, verdict.refusal), verdict.status);
    else
        printReport(analysis);
    printWarnings(analysis);
    if (!verdict.refusal.isEmpty())
        terminal::printError(verdict.refusal);
    return verdict.status;
}
