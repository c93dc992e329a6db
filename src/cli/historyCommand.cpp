#include "commands.h"
#include "serialPortAdvice.h"
#include "serialInterfaces.h"
#include "terminal.h"
#include "updateHistory.h"

#include <QJsonDocument>

#include <algorithm>

namespace {

// An interface not listed now (unplugged, most likely: its history is looked up afterwards) has no serial number to
// tell it by, only the name it was asked for by.
bool through(const runRecord &run, const runInterface &interface)
{
    return interface.serialNumber.isEmpty() ? interface.deviceIdentity() == run.interface.deviceIdentity()
                                            : interface.sameAs(run.interface);
}

bool throughAny(const runRecord &run, const QList<runInterface> &interfaces)
{
    return interfaces.isEmpty()
        || std::any_of(interfaces.cbegin(), interfaces.cend(), [&](const runInterface &interface) { return through(run, interface); });
}

// The window's words for it, then the counts, then what the fixture may hold.
void printRun(const runRecord &run)
{
    QString text = runWords::summary(run) + QStringLiteral("\n    %1 of %2 lines went out, %3 frames; %4, pid %5; run %6")
                                                .arg(run.linesOut).arg(run.lines).arg(run.frames).arg(run.program).arg(run.pid).arg(run.runId);
    if (run.leftPartOfItself())
        text += QStringLiteral("\n    ") + runWords::partialUpdate(run);
    terminal::printLine(stdout, terminal::printableLines(text));
}

} // namespace

int historyCommand(const historyOptions &options)
{
    updateHistory history;
    const QString problem = history.readProblem();
    if (!problem.isEmpty()) {
        terminal::printError(problem);
        if (options.json)
            terminal::printJson(QJsonDocument(QJsonObject{{"error", problem}, {"exitCode", exitCode::fileUnreadable}}));
        return exitCode::fileUnreadable;
    }
    QStringList unreadable;
    QVector<runRecord> runs = history.runs(&unreadable);
    for (const QString &line : std::as_const(unreadable))
        terminal::printError(QStringLiteral("warning: ") + line);
    QList<runInterface> interfaces;
    const QList<serialPortDescription> listed = options.ports.isEmpty() ? QList<serialPortDescription>() : availableSerialPorts();
    for (const QString &port : options.ports)
        interfaces << runInterface::of(port, listed);
    runs.erase(std::remove_if(runs.begin(), runs.end(), [&](const runRecord &run) { return !throughAny(run, interfaces); }), runs.end());
    if (options.last > 0)
        runs = runs.mid(0, options.last);
    for (const runRecord &run : std::as_const(runs)) {
        if (options.json)
            terminal::printJson(QJsonDocument(historyQueries::toJson(run)));
        else
            printRun(run);
    }
    if (runs.isEmpty() && !options.json)
        terminal::printLine(stderr, QStringLiteral("No update recorded in %1.").arg(history.journalPath()));
    return exitCode::finished;
}
