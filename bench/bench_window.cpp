// The window as the technician meets it.
//
//   bench_window --latency   (dmxshim preloaded) sends the "dense" workload from
//                            the window over the virtual DMX adapter and measures
//                            how late a 5 ms timer on the GUI thread fires.
//   bench_window --large-file (dmxshim preloaded) names a 300 MB update file on the
//                            window's command line, answers its question, presses
//                            Start, and measures the GUI thread's longest stall
//                            while the file is read and until its first frame.
//   bench_window --startup [--runs N]   (no shim) starts itself N times with
//                            --shown and measures from the spawn call to the
//                            window's first painted frame.
//   bench_window --shown     builds and shows the window as main() does, prints
//                            CLOCK_MONOTONIC at its first painted frame, quits.
//
// Prints rows of the benchmark table.

#include "benchStatistics.h"
#include "benchWorkloads.h"
#include "fixtureSoftwareUpdater.h"
#include "serialInterfaces.h"
#include "testSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <time.h>

namespace {

constexpr int probeIntervalMs = 5;

qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Fires every probeIntervalMs on the GUI thread and keeps how late each shot was.
class latencyProbe : public QObject
{
public:
    latencyProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, &latencyProbe::fired);
    }

    void start()
    {
        lateness.clear();
        clock.start();
        arm();
    }
    void stop() { timer.stop(); }
    QVector<double> lateness; // milliseconds

private:
    void arm()
    {
        dueNs = clock.nsecsElapsed() + probeIntervalMs * 1000000LL;
        timer.start(probeIntervalMs);
    }
    void fired()
    {
        lateness << double(qMax<qint64>(0, clock.nsecsElapsed() - dueNs)) / 1e6;
        arm();
    }

    QTimer timer;
    QElapsedTimer clock;
    qint64 dueNs = 0;
};

// Runs the event loop as exec() does, sleeping while there is nothing to do,
// until done() holds or the time is up.
template<typename condition>
void runEventsUntil(condition done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(20);
    loop.exec();
}

void runEventsFor(int milliseconds)
{
    runEventsUntil([] { return false; }, milliseconds);
}

virtualDmxLine *line = nullptr;

QList<serialPortDescription> virtualPort()
{
    serialPortDescription port;
    port.portName = line->portPath();
    port.manufacturer = QStringLiteral("Example Corp");
    port.serialNumber = QStringLiteral("B1");
    return {port};
}

QString latencyCell(const QVector<double> &lateness)
{
    const benchStatistics::summary s = benchStatistics::summarize(lateness);
    return benchStatistics::triple(s.median, s.p99, s.max, 2) + QStringLiteral(" (%1 shots)").arg(s.count);
}

int measureLatency()
{
    virtualDmxLine virtualLine;
    QTemporaryDir directory;
    if (virtualLine.portPath().isEmpty() || !directory.isValid())
        return 2;
    line = &virtualLine;
    setSerialPortLister(virtualPort);

    benchWorkloads::workload dense;
    benchWorkloads::findWorkload(QStringLiteral("dense"), &dense);
    const QByteArray contents = benchWorkloads::contents(dense);
    QFile file(directory.filePath(QStringLiteral("dense.fwb")));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return 2;
    file.close();
    // The window picks the update file from the working directory.
    QDir::setCurrent(directory.path());

    fixtureSoftwareUpdater window;
    window.show();
    runEventsFor(300);

    auto *button = window.findChild<QPushButton *>(QStringLiteral("updateButton"));
    if (!button || !button->isEnabled()) {
        QTextStream(stdout) << "| window | FAILED | Start is not enabled | |\n";
        return 1;
    }

    latencyProbe probe;
    probe.start();
    runEventsFor(1000);
    probe.stop();
    const QVector<double> idle = probe.lateness;

    shimLog::clear();
    probe.start();
    button->click();
    runEventsUntil([button] { return button->text() == QLatin1String("Finished!"); }, 10 * 60 * 1000);
    probe.stop();

    if (button->text() != QLatin1String("Finished!")
        || shimLog::last().hex() != expandFrames(benchWorkloads::expectedFrames(dense))) {
        QTextStream(stdout) << "| window | FAILED | dense update did not finish cleanly | |\n";
        return 1;
    }
    using benchStatistics::printRow;
    printRow(QStringLiteral("window, idle"), QStringLiteral("GUI timer lateness, ms: p50 / p99 / max"),
             latencyCell(idle), QString());
    printRow(QStringLiteral("window, dense update"), QStringLiteral("GUI timer lateness, ms: p50 / p99 / max"),
             latencyCell(probe.lateness), QStringLiteral("p99 <= 16"));
    return 0;
}

// A 300 MB file, as a double-click in the file manager hands it over; the question a file of hours raises is
// answered with Use Anyway as soon as it shows.
int measureLargeFile()
{
    virtualDmxLine virtualLine;
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("large.fwb"));
    if (virtualLine.portPath().isEmpty() || !benchWorkloads::writeLargeUpdateFile(path, 300 * 1000000LL))
        return 2;
    line = &virtualLine;
    setSerialPortLister(virtualPort);
    // Start is pressed the moment it is offered, sooner than a person's double-click could end.
    QApplication::setDoubleClickInterval(0);
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
            if (button->text() == QLatin1String("Use Anyway"))
                button->click();
        }
    });
    answerer.start(20);

    // From the window's first frame on: building it reads no file.
    fixtureSoftwareUpdater window(path);
    window.show();
    QApplication::sendPostedEvents();
    latencyProbe probe;
    probe.start();
    QElapsedTimer reading;
    reading.start();
    auto *button = window.findChild<QPushButton *>(QStringLiteral("updateButton"));
    if (button)
        runEventsUntil([button] { return button->isEnabled() && button->isVisible(); }, 10 * 60 * 1000);
    const QVector<double> choosing = probe.lateness;
    const qint64 readMs = reading.elapsed();
    if (!button || !button->isEnabled()) {
        QTextStream(stdout) << "| window, 300 MB file | FAILED | Start never offered | |\n";
        return 1;
    }

    shimLog::clear();
    probe.start();
    button->click();
    runEventsUntil([] { return !shimLog::last().frames.isEmpty(); }, 10 * 60 * 1000);
    probe.stop();
    if (shimLog::last().frames.isEmpty()) {
        QTextStream(stdout) << "| window, 300 MB file | FAILED | no frame went out | |\n";
        return 1;
    }
    const auto longest = [](const QVector<double> &lateness) { return benchStatistics::summarize(lateness).max; };
    benchStatistics::printRow(QStringLiteral("window, 300 MB file"),
                              QStringLiteral("GUI thread's longest stall, ms: while it is read (%1 s) / from Start to the first frame")
                                  .arg(double(readMs) / 1000, 0, 'f', 1),
                              QStringLiteral("%1 / %2").arg(longest(choosing), 0, 'f', 1).arg(longest(probe.lateness), 0, 'f', 1),
                              QStringLiteral("<= 100"));
    return 0;
}

// Reports once the first frame of the window has been painted and handed to
// the window system: the zero timer runs after the expose that painted it.
class firstPaintWatcher : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            QTimer::singleShot(0, [] {
                QTextStream(stdout) << monotonicNs() << '\n';
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen = false;
};

int showOnce(int argc, char *argv[])
{
    // As main() does it.
    QApplication application(argc, argv);
    QCoreApplication::addLibraryPath(QStringLiteral("./dll"));
    fixtureSoftwareUpdater window;
    firstPaintWatcher watcher;
    window.installEventFilter(&watcher);
    window.show();
    return application.exec();
}

int measureStartup(int runs)
{
    // A technician's folder: one update file, which the window preselects.
    QTemporaryDir directory;
    benchWorkloads::workload typical;
    benchWorkloads::findWorkload(QStringLiteral("typical"), &typical);
    QFile file(directory.filePath(QStringLiteral("typical.fwb")));
    if (!directory.isValid() || !file.open(QIODevice::WriteOnly) || file.write(benchWorkloads::contents(typical)) < 0)
        return 2;
    file.close();

    QVector<double> milliseconds;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setWorkingDirectory(directory.path());
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 spawnedNs = monotonicNs();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--shown")});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            QTextStream(stdout) << "| window | FAILED | the window did not show | |\n";
            return 1;
        }
        const qint64 shownNs = child.readAllStandardOutput().trimmed().toLongLong();
        milliseconds << double(shownNs - spawnedNs) / 1e6;
    }
    const benchStatistics::summary s = benchStatistics::summarize(milliseconds);
    benchStatistics::printRow(QStringLiteral("window"),
                              QStringLiteral("process start to first painted frame, ms: min / median / max of %1")
                                  .arg(runs),
                              benchStatistics::triple(s.min, s.median, s.max, 1), QStringLiteral("<= 300"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--shown")
        return showOnce(argc, argv);
    // The updates of a benchmark are no one's history; the window started by --startup inherits this.
    const QTemporaryDir history;
    qputenv("XDG_DATA_HOME", QFile::encodeName(history.path()));

    if (mode == "--startup") {
        QCoreApplication application(argc, argv);
        return measureStartup(argc > 3 && QByteArray(argv[2]) == "--runs" ? qMax(1, atoi(argv[3])) : 10);
    }
    if (mode == "--latency" || mode == "--large-file") {
        QApplication application(argc, argv);
        return mode == "--latency" ? measureLatency() : measureLargeFile();
    }
    QTextStream(stderr) << "usage: bench_window --latency | --large-file | --startup [--runs N] | --shown\n";
    return 2;
}
