#include "commands.h"
#include "serialInterfaces.h"
#include "serialPortAdvice.h"
#include "serialPortThread.h"
#include "stopSignals.h"
#include "terminal.h"
#include "updateFileAnalysis.h"
#include "updateHistory.h"
#include "updateRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>


namespace {

enum class outcome { finished, canceled, failed };
const char *const stateWords[] = {"finished", "canceled", "failed"};
const char *const eventNames[] = {"finished", "canceled", "error"};

// The serial-port library has no words for these but "UnsupportedOperationError" or "UnknownError".
bool isNoSerialInterface(const QString &device)
{
    const QFileInfo location(device);
    return location.exists() && (location.isFile() || location.isDir());
}

void writeEvent(bool json, const QString &port, const char *name, QJsonObject fields)
{
    if (!json)
        return;
    fields.insert(QStringLiteral("event"), QLatin1String(name));
    fields.insert(QStringLiteral("port"), port);
    terminal::printJson(QJsonDocument(fields));
}

// The updates on all ports, each by the window's worker on a thread of its
// own, followed as the window follows it; and what is told of them.
class sendRun
{
public:
    sendRun(const sendOptions &options, const updateFileAnalysis &file, const stopSignals &caught);
    ~sendRun();
    int exec();

private:
    struct port
    {
        QString name;
        QThread thread;
        std::unique_ptr<updateRun> run;
        QElapsedTimer clock;
        portProgress progress;
        qint64 lastEventMs = -1000;
        bool started = false, sleepInhibited = true;
        QString message; // the first report, the one the window would show; then the end
        outcome ending = outcome::finished;
        bool over = false;
    };

    void warnOfInterruptedUpdates(const QList<serialPortDescription> &interfaces);
    void warn(const QString &text);
    void startPort(int index, const QList<serialPortDescription> &interfaces);
    void progressed(int index);
    void sleepNotInhibited(int index, const QString &reason);
    void notRecordable(int index, const QString &problem);
    void runEnded(int index);
    void end(int index, outcome what, int status, const QString &told = QString());
    void stopOnSignal(int stop);
    void everyTick();
    void printSummary() const;

    const sendOptions &options;
    const updateFileAnalysis &file;
    updateHistory history;
    std::vector<port> ports;
    progressDisplay display;
    QEventLoop loop;
    QTimer ticks;
    int running = 0;
    bool canceling = false, sleepWarned = false, historyWarned = false;
    int result = exitCode::finished;
};

sendRun::sendRun(const sendOptions &options, const updateFileAnalysis &file, const stopSignals &caught)
    : options(options), file(file), ports(size_t(options.ports.size())),
      // Lines redrawn in place would tear the JSON that shares a terminal with them.
      display(options.ports, options.quiet                         ? progressDisplay::style::quiet
                             : terminal::columns() > 0 && !options.json ? progressDisplay::style::redraw
                                                                    : progressDisplay::style::plain)
{
    QObject::connect(&caught, &stopSignals::signalCaught, &loop, [this](int stop) { stopOnSignal(stop); });
    QObject::connect(&ticks, &QTimer::timeout, &loop, [this] { everyTick(); });
}

sendRun::~sendRun()
{
    // Each worker waits for its last frame to leave the adapter before it goes.
    for (port &each : ports) {
        each.thread.quit();
        each.thread.wait();
    }
}

int sendRun::exec()
{
    running = int(ports.size());
    const QList<serialPortDescription> interfaces = availableSerialPorts();
    warnOfInterruptedUpdates(interfaces);
    for (int index = 0; index < running; ++index)
        startPort(index, interfaces);
    ticks.start(100);
    loop.exec();
    display.finish();
    printSummary();
    return result;
}

// A fixture that still holds part of an update sent before is worth a word before this one starts.
void sendRun::warnOfInterruptedUpdates(const QList<serialPortDescription> &interfaces)
{
    QStringList unreadable;
    const QVector<runRecord> recorded = history.runs(&unreadable);
    for (const QString &line : std::as_const(unreadable))
        warn(line);
    for (const QString &name : options.ports) {
        for (const runRecord &interrupted : historyQueries::uncoveredInterrupted(recorded, runInterface::of(name, interfaces))) {
            const QString text = QStringLiteral("an earlier update was interrupted: %1 %2")
                                     .arg(runWords::summary(interrupted), runWords::partialUpdate(interrupted));
            warn(name + QStringLiteral(": ") + text);
            writeEvent(options.json, name, "warning", {{"message", text}, {"run", interrupted.runId}});
        }
    }
}

void sendRun::warn(const QString &text)
{
    display.tell(QCoreApplication::applicationName() + QStringLiteral(": warning: ") + text);
}

void sendRun::startPort(int index, const QList<serialPortDescription> &interfaces)
{
    port &each = ports[size_t(index)];
    each.name = options.ports.at(index);
    const QString device = portLocation(each.name);
    each.clock.start();
    if (isNoSerialInterface(device)) {
        each.message = QStringLiteral("not a serial interface");
        // Told from the event loop, which ends once every port has.
        QMetaObject::invokeMethod(&loop, [=] { end(index, outcome::failed, exitCode::interfaceUnavailable, ports[size_t(index)].message); },
                                  Qt::QueuedConnection);
        return;
    }
    runInterface interface = runInterface::of(each.name, interfaces);
    interface.device = device;
    each.run.reset(new updateRun(interface, file, &history));
    updateRun *run = each.run.get();
    QObject::connect(run, &updateRun::notRecordable, &loop, [=](const QString &problem) { notRecordable(index, problem); });
    QObject::connect(run, &updateRun::sleepNotInhibited, &loop, [=](const QString &reason) { sleepNotInhibited(index, reason); });
    QObject::connect(run, &updateRun::lengthKnown, &loop, [=, &each](int lines) {
        each.started = true;
        each.progress.lines = lines;
        each.progress.remainingMs = file.remainingMs(0, each.progress.elapsedMs);
        display.update(index, each.progress);
        writeEvent(options.json, each.name, "start", {{"file", file.file}, {"sha256", QString::fromLatin1(file.sha256)}, {"lines", lines},
                                                      {"wireTimeUs", file.wireTimeUs}, {"sleepInhibited", each.sleepInhibited}});
    });
    QObject::connect(run, &updateRun::progressed, &loop, [=] { progressed(index); });
    QObject::connect(run, &updateRun::ended, &loop, [=] { runEnded(index); });
    // The worker opens the port here, as the window's does.
    run->start(each.thread);
}

// The lines whose frames have all gone out: what a fixture holds if the update stops here.
void sendRun::progressed(int index)
{
    port &each = ports[size_t(index)];
    const runRecord record = each.run->record();
    portProgress &progress = each.progress;
    progress.linesDone = record.linesOut;
    progress.elapsedMs = each.clock.elapsed();
    progress.remainingMs = file.remainingMs(record.linesPassed, progress.elapsedMs);
    display.update(index, progress);
    // At most ten a second for each port.
    if (progress.elapsedMs - each.lastEventMs < 100 || !each.started)
        return;
    each.lastEventMs = progress.elapsedMs;
    writeEvent(options.json, each.name, "progress", {{"line", progress.linesDone}, {"frames", record.frames}, {"lines", progress.lines},
                                                     {"elapsedMs", progress.elapsedMs}, {"remainingMs", progress.remainingMs}});
}

// A fixture half updated by a laptop that went to sleep is worse than a warning nobody needed.
void sendRun::sleepNotInhibited(int index, const QString &reason)
{
    port &each = ports[size_t(index)];
    each.sleepInhibited = false;
    const QString text = QStringLiteral("the computer may go to sleep during the update: ") + reason;
    if (!std::exchange(sleepWarned, true))
        warn(text);
    // After the start event, which said otherwise.
    if (each.started)
        writeEvent(options.json, each.name, "warning", {{"message", text}});
}

// Said once, before the first frame; the update goes ahead.
void sendRun::notRecordable(int index, const QString &problem)
{
    const QString text = QStringLiteral("this update will not be recorded in the history: ") + problem;
    if (!std::exchange(historyWarned, true))
        warn(text);
    writeEvent(options.json, ports[size_t(index)].name, "warning", {{"message", text}});
}

void sendRun::runEnded(int index)
{
    port &each = ports[size_t(index)];
    const runRecord record = each.run->record();
    each.progress.linesDone = record.linesOut;
    const QString partial = runWords::partialUpdate(record);
    if (!partial.isEmpty())
        writeEvent(options.json, each.name, "partialUpdate",
                   {{"message", partial}, {"line", record.linesOut}, {"frames", record.frames}, {"lines", record.lines}});
    QStringList told{runWords::failureAdvice(record), partial};
    told.removeAll(QString());
    if (record.ending == runEnding::failed) {
        each.message = record.message;
        end(index, outcome::failed, exitCodeForFailure(record.failureKind), (QStringList{record.message} + told).join(QStringLiteral("\n    ")));
    } else {
        end(index, record.ending == runEnding::finished ? outcome::finished : outcome::canceled,
            record.ending == runEnding::finished ? exitCode::finished : exitCode::canceled, told.join(QStringLiteral("\n    ")));
    }
}

// told: what the display says at once, under the port's name.
void sendRun::end(int index, outcome what, int status, const QString &told)
{
    port &each = ports[size_t(index)];
    if (std::exchange(each.over, true))
        return;
    each.ending = what;
    if (what != outcome::failed)
        each.message = what == outcome::finished ? QStringLiteral("Finished!") : QStringLiteral("Canceled!");
    each.progress.elapsedMs = each.clock.elapsed();
    display.ended(index, QLatin1String(stateWords[int(what)]), told);
    const qint64 frames = each.run ? each.run->record().frames : 0;
    writeEvent(options.json, each.name, eventNames[int(what)], {{"message", each.message}, {"exitCode", status}, {"lines", file.lines},
                                                          {"line", each.progress.linesDone}, {"frames", frames},
                                                          {"elapsedMs", each.progress.elapsedMs}});
    result = qMax(result, status);
    if (--running == 0)
        loop.quit();
}

// Every update stops at its next frame boundary; the first signal says so at once.
void sendRun::stopOnSignal(int stop)
{
    if (!std::exchange(canceling, true))
        display.tell(stopSignals::name(stop) + QStringLiteral(": canceling; each update stops once the frame in flight is out")
                     + (stopSignals::isInterrupt(stop) ? QStringLiteral("; Ctrl-C again stops at once") : QString()));
    for (const port &each : ports) {
        if (each.run)
            each.run->cancel();
    }
}

// Keeps the elapsed time moving while a port waits.
void sendRun::everyTick()
{
    for (int index = 0; index < int(ports.size()); ++index) {
        port &each = ports[size_t(index)];
        each.progress.elapsedMs = each.clock.elapsed();
        if (!each.over)
            display.update(index, each.progress);
    }
}

// One line for each port, failures last: the last thing on screen is what went wrong.
void sendRun::printSummary() const
{
    if (options.json || options.quiet || ports.size() < 2)
        return;
    for (const outcome what : {outcome::finished, outcome::canceled, outcome::failed}) {
        for (const port &each : ports) {
            if (each.ending == what)
                terminal::printLine(stderr, QStringLiteral("%1: %2").arg(each.name, each.message));
        }
    }
}

} // namespace

int exitCodeForFailure(int kind)
{
    switch (kind) {
    case serialPortThread::interfaceFailed: return exitCode::interfaceUnavailable;
    case serialPortThread::fileUnreadable: return exitCode::fileUnreadable;
    case serialPortThread::fileRefused: return exitCode::fileRefused;
    case serialPortThread::interfaceCannotBreak: return exitCode::interfaceUnavailable;
    default: return exitCode::transferFailed;
    }
}

int sendCommand(const sendOptions &options)
{
    const stopSignals caught;
    const checkedUpdateFile checked = checkUpdateFile(options.file);
    const updateFileAnalysis &file = checked.analysis;
    const fileVerdict verdict = judgeUpdateFile(file, options.checks, true);
    if (file.opened() && !file.stopped)
        printWarnings(file);
    if (verdict.refusal.isEmpty()) {
        sendRun run(options, file, caught);
        return run.exec();
    }
    // Refused or stopped before any port is opened; a script still hears of every port.
    const bool canceled = verdict.status == exitCode::canceled;
    terminal::startLineAfterInterrupt();
    terminal::printError(verdict.refusal);
    for (const QString &port : options.ports)
        writeEvent(options.json, port, canceled ? "canceled" : "error",
                   {{"message", canceled ? QStringLiteral("Canceled!") : verdict.refusal.section(QLatin1Char('\n'), 0, 0)},
                    {"exitCode", verdict.status}, {"line", 0}, {"frames", 0}, {"lines", file.lines}, {"elapsedMs", 0}});
    return verdict.status;
}

QString portNamingFault(const QStringList &ports)
{
    QHash<QString, QString> seen; // the first name of each interface
    for (const QString &name : ports) {
        if (name.isEmpty())
            return QStringLiteral("--port needs the name of an interface");
        const QString identity = portIdentity(name);
        if (seen.contains(identity))
            return QStringLiteral("%1 and %2 are the same interface").arg(seen.value(identity), name);
        seen.insert(identity, name);
    }
    return QString();
}
