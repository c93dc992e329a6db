#include "commands.h"
#include "dmxWire.h"
#include "serialPortAdvice.h"
#include "serialPortErrorText.h"
#include "serialPortThread.h"
#include "stopSignals.h"
#include "terminal.h"
#include "updateFileAnalysis.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

#include <utility>
#include <vector>


namespace {

enum class outcome { finished, canceled, failed };
const char *const stateWords[] = {"finished", "canceled", "failed"};
const char *const eventNames[] = {"finished", "canceled", "error"};

QString portErrorHint(int code, const QString &device)
{
    if (code == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("%1 does not exist; '%2 ports' lists the interfaces there are")
            .arg(device, QCoreApplication::applicationName());
    if (code == QSerialPort::UnsupportedOperationError)
        return QStringLiteral("is %1 a serial interface?").arg(device);
    return portErrorAdvice(code, device);
}

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
// own, driven the way the window drives it; and what is told of them.
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
        serialPortThread *worker = nullptr; // until the run is over
        QElapsedTimer clock;
        portProgress progress;
        qint64 frames = 0; // on the wire
        qint64 linesPassed = 0; // with their holds over: what the time left is reckoned from
        qint64 lastEventMs = -1000;
        bool started = false, sleepInhibited = true;
        QString message, hint; // the first report, the one the window would show; then the end
        outcome ending = outcome::finished;
        bool over = false;
    };

    void startPort(int index);
    void progressed(int index, int lines, qint64 frames);
    void sleepNotInhibited(int index, const QString &reason);
    void failed(int index, const QString &message, const QString &hint = QString());
    void end(int index, outcome what, int status);
    void stopOnSignal(int stop);
    void everyTick();
    void printSummary() const;

    const sendOptions &options;
    const updateFileAnalysis &file;
    std::vector<port> ports;
    progressDisplay display;
    QEventLoop loop;
    QTimer ticks;
    int running = 0;
    bool canceling = false, sleepWarned = false;
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
    for (int index = 0; index < running; ++index)
        startPort(index);
    ticks.start(100);
    loop.exec();
    display.finish();
    printSummary();
    return result;
}

void sendRun::startPort(int index)
{
    port &each = ports[size_t(index)];
    each.name = options.ports.at(index);
    const QString device = portLocation(each.name);
    each.clock.start();
    if (isNoSerialInterface(device)) {
        each.message = QStringLiteral("not a serial interface");
        // Told from the event loop, which ends once every port has.
        QMetaObject::invokeMethod(&loop, [=] { end(index, outcome::failed, exitCode::interfaceUnavailable); }, Qt::QueuedConnection);
        return;
    }
    // The worker opens the port here, as the window's does.
    auto *worker = each.worker = new serialPortThread(device, QFileInfo(file.path));
    worker->moveToThread(&each.thread);
    QObject::connect(&each.thread, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &serialPortThread::sleepNotInhibited, &loop,
                     [=](const QString &reason) { sleepNotInhibited(index, reason); });
    QObject::connect(worker, &serialPortThread::updateFileLength, &loop, [=, &each](int lines) {
        each.started = true;
        each.progress.lines = lines;
        each.progress.remainingMs = file.remainingMs(0, each.progress.elapsedMs);
        display.update(index, each.progress);
        writeEvent(options.json, each.name, "start", {{"file", file.file}, {"sha256", QString::fromLatin1(file.sha256)}, {"lines", lines},
                                                      {"wireTimeUs", file.wireTimeUs}, {"sleepInhibited", each.sleepInhibited}});
    });
    QObject::connect(worker, &serialPortThread::sentOnTheWire, &loop,
                     [=](int lines, qint64 frames) { progressed(index, lines, frames); });
    QObject::connect(worker, &serialPortThread::updateProgress, &loop, [&each](int step) { each.linesPassed += step; });
    QObject::connect(worker, &serialPortThread::sendError, &loop, [=](const QString &text) {
        // A copy of piped input goes by the name it was given.
        failed(index, QString(text).replace(file.path, file.file), text == QLatin1String(cannotSendBreakText) ? breakAdvice() : QString());
    });
    QObject::connect(worker, &serialPortThread::portStatusChanged, &loop, [=](qlonglong code) {
        const QString text = serialPortErrorMessage(int(code));
        // The window has no words for such a code and silently resets; a script needs some.
        failed(index, text.isEmpty() ? QStringLiteral("Serialport Error: %1").arg(code) : text, portErrorHint(int(code), device));
    });
    QObject::connect(worker, &serialPortThread::finished, &loop, [=] { end(index, outcome::finished, exitCode::finished); });
    QObject::connect(worker, &serialPortThread::canceled, &loop, [=] { end(index, outcome::canceled, exitCode::canceled); });
    QObject::connect(worker, &serialPortThread::transferFailed, &loop,
                     [=](int kind) { end(index, outcome::failed, exitCodeForFailure(kind)); });
    each.thread.start();
    QMetaObject::invokeMethod(worker, &serialPortThread::startSending, Qt::QueuedConnection);
}

// The lines whose frames have all gone out: what a fixture holds if the update stops here.
void sendRun::progressed(int index, int lines, qint64 frames)
{
    port &each = ports[size_t(index)];
    portProgress &progress = each.progress;
    progress.linesDone = lines;
    each.frames = frames;
    progress.elapsedMs = each.clock.elapsed();
    progress.remainingMs = file.remainingMs(each.linesPassed, progress.elapsedMs);
    display.update(index, progress);
    // At most ten a second for each port.
    if (progress.elapsedMs - each.lastEventMs < 100)
        return;
    each.lastEventMs = progress.elapsedMs;
    writeEvent(options.json, each.name, "progress", {{"line", progress.linesDone}, {"frames", frames}, {"lines", progress.lines},
                                                     {"elapsedMs", progress.elapsedMs}, {"remainingMs", progress.remainingMs}});
}

// A fixture half updated by a laptop that went to sleep is worse than a warning nobody needed.
void sendRun::sleepNotInhibited(int index, const QString &reason)
{
    port &each = ports[size_t(index)];
    each.sleepInhibited = false;
    const QString text = QStringLiteral("the computer may go to sleep during the update: ") + reason;
    if (!std::exchange(sleepWarned, true))
        display.tell(QCoreApplication::applicationName() + QStringLiteral(": warning: ") + text);
    // After the start event, which said otherwise.
    if (each.started)
        writeEvent(options.json, each.name, "warning", {{"message", text}});
}

// As in the window, the worker stops at the next frame boundary after a report.
void sendRun::failed(int index, const QString &message, const QString &hint)
{
    port &each = ports[size_t(index)];
    if (each.message.isEmpty()) {
        each.message = message;
        each.hint = hint;
    }
    if (each.worker)
        QMetaObject::invokeMethod(each.worker, &serialPortThread::cancelSending, Qt::QueuedConnection);
}

void sendRun::end(int index, outcome what, int status)
{
    port &each = ports[size_t(index)];
    if (each.over)
        return;
    each.over = true;
    // A port error that did not stop the worker fails the update all the same, as in the window.
    if (!each.message.isEmpty() && what != outcome::failed) {
        what = outcome::failed;
        status = exitCode::transferFailed;
    }
    each.ending = what;
    if (what == outcome::finished)
        each.progress.linesDone = file.lines;
    if (what != outcome::failed)
        each.message = what == outcome::finished ? QStringLiteral("Finished!") : QStringLiteral("Canceled!");
    each.progress.elapsedMs = each.clock.elapsed();
    const QString told = each.message + (each.hint.isEmpty() ? QString() : QStringLiteral("\n    ") + each.hint);
    display.ended(index, QLatin1String(stateWords[int(what)]), what == outcome::failed ? told : QString());
    writeEvent(options.json, each.name, eventNames[int(what)], {{"message", each.message}, {"exitCode", status}, {"lines", file.lines},
                                                          {"line", each.progress.linesDone}, {"frames", each.frames},
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
        if (each.worker)
            QMetaObject::invokeMethod(each.worker, &serialPortThread::cancelSending, Qt::QueuedConnection);
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
        // The device itself, whatever name or link reaches it.
        const QFileInfo location(portLocation(name));
        const QString identity = location.exists() ? location.canonicalFilePath() : location.absoluteFilePath();
        if (seen.contains(identity))
            return QStringLiteral("%1 and %2 are the same interface").arg(seen.value(identity), name);
        seen.insert(identity, name);
    }
    return QString();
}
