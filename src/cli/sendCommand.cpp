#include "sendCommand.h"

#include "cancelSignals.h"
#include "exitCodes.h"
#include "jsonEvents.h"
#include "portTransfer.h"
#include "progressDisplay.h"
#include "terminalOutput.h"
#include "updateFileAnalysis.h"
#include "wireTimeline.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <memory>
#include <vector>

namespace {

progressDisplay::style displayStyle(const sendOptions &options)
{
    if (options.quiet)
        return progressDisplay::style::quiet;
    return terminalOutput::isTerminal(stderr) ? progressDisplay::style::redraw : progressDisplay::style::plain;
}

// The transfers on all ports, and what is told about them.
class sendRun
{
public:
    sendRun(const sendOptions &options, qint64 wireTimeUs);
    int exec();

private:
    struct port
    {
        std::unique_ptr<portTransfer> transfer;
        std::unique_ptr<wireTimeline> timeline;
        QElapsedTimer clock;
        portProgress progress;
    };

    void startPort(int index);
    void started(int index, int lines);
    void progressed(int index, int linesDone);
    void ended(int index, const transferEnding &ending);

    const sendOptions &options;
    const qint64 wireTimeUs;
    std::vector<port> ports;
    progressDisplay display;
    jsonEvents events;
    cancelSignals interrupts;
    QEventLoop loop;
    int running = 0;
    int result = exitCode::finished;
};

sendRun::sendRun(const sendOptions &options, qint64 wireTimeUs)
    : options(options),
      wireTimeUs(wireTimeUs),
      ports(size_t(options.ports.size())),
      display(options.ports, displayStyle(options)),
      events(options.json, int(options.ports.size()))
{
    QObject::connect(&interrupts, &cancelSignals::cancelRequested, &loop, [this] {
        for (port &each : ports)
            each.transfer->cancel();
    });
}

int sendRun::exec()
{
    for (int index = 0; index < int(ports.size()); ++index)
        startPort(index);
    running = int(ports.size());
    loop.exec();
    display.finish();
    // Each waits for its worker, and the worker for its last frame.
    ports.clear();
    return result;
}

void sendRun::startPort(int index)
{
    port &each = ports[size_t(index)];
    each.transfer = std::make_unique<portTransfer>(portLocation(options.ports.at(index)), QFileInfo(options.file));
    each.timeline = std::make_unique<wireTimeline>(options.file, wireTimeUs);
    portTransfer *transfer = each.transfer.get();
    QObject::connect(transfer, &portTransfer::started, &loop, [this, index](int lines) { started(index, lines); });
    QObject::connect(transfer, &portTransfer::progressed, &loop, [this, index](int done) { progressed(index, done); });
    QObject::connect(transfer, &portTransfer::endedWith, &loop,
                     [this, index](const transferEnding &ending) { ended(index, ending); });
    each.clock.start();
    transfer->start();
}

void sendRun::started(int index, int lines)
{
    port &each = ports[size_t(index)];
    each.progress.lines = lines;
    each.progress.remainingMs = each.timeline->remainingMs(0);
    display.update(index, each.progress);
    events.start(options.ports.at(index), lines, wireTimeUs);
}

void sendRun::progressed(int index, int linesDone)
{
    port &each = ports[size_t(index)];
    each.progress.linesDone = linesDone;
    each.progress.elapsedMs = each.clock.elapsed();
    each.timeline->advanceTo(linesDone);
    each.progress.remainingMs = each.timeline->remainingMs(each.progress.elapsedMs);
    display.update(index, each.progress);
    events.progress(index, options.ports.at(index), linesDone, each.progress.lines, each.progress.elapsedMs,
                    each.progress.remainingMs);
}

void sendRun::ended(int index, const transferEnding &ending)
{
    port &each = ports[size_t(index)];
    each.progress.elapsedMs = each.clock.elapsed();
    display.update(index, each.progress);
    display.ended(index, ending);
    events.ending(options.ports.at(index), ending);
    result = qMax(result, ending.exitCode);
    if (--running == 0)
        loop.quit();
}

// Refused before any port is touched; a script still hears of every port.
int refuseFile(const sendOptions &options, const QString &text, int code)
{
    terminalOutput::printError(text);
    jsonEvents events(options.json, int(options.ports.size()));
    for (const QString &name : options.ports)
        events.ending(name, {transferEnding::error, text, code});
    return code;
}

} // namespace

QString portLocation(const QString &name)
{
#ifdef Q_OS_UNIX
    if (!name.contains(QLatin1Char('/')))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

int sendCommand(const sendOptions &options)
{
    const updateFileAnalysis analysis = analyzeUpdateFile(options.file);
    if (!analysis.opened())
        return refuseFile(options, analysis.openFailure, exitCode::fileUnreadable);
    if (!analysis.refused.isEmpty())
        return refuseFile(options, analysis.refused, exitCode::fileRefused);
    sendRun run(options, analysis.tally.wireTimeUs);
    return run.exec();
}
