// Faults met by updates started from the window: the adapter pulled at chosen
// frames, Cancel at chosen moments, Quit during a long update, a hundred
// updates in a row, and ports that cannot be used. The choices come from a
// fixed seed (REL_SEED overrides it), printed with every failure.

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const quint32 fixedSeed = 0x5eed0007;
const int runTimeoutMs = 30000;
// How long a pulled adapter may take to show in the window, from the failed call.
const qint64 faultToIdleBoundNs = 2000000000;
const QString unplugged = QStringLiteral("Serialport Error: ResourceError: Device Unavailable");
const QString noDtr = QStringLiteral("Unable to set DataTerminalReady");
const uid_t nobody = 65534;
const QByteArray updateContents = standardHeader() + "1 01 02 03\n1 04 05 06\n";

// Packet lines whose lengths change now and then, so that cuts fall inside
// repetitions as well as between lines. Every hold is non-zero, so the frames
// that end a packet line are the ones with a hold after them.
QByteArray campaignFile(QRandomGenerator &random, int packetLines, int lastHoldMs)
{
    QByteArray contents = standardHeader();
    int length = 3;
    for (int line = 0; line < packetLines; ++line) {
        if (random.bounded(6) == 0)
            contents += "# block " + QByteArray::number(line) + '\n';
        if (random.bounded(3) == 0) {
            const int lengths[] = {1, 2, 3, 7, 24, 64};
            length = lengths[random.bounded(6)];
        }
        const int holdMs = line == packetLines - 1 ? lastHoldMs : 1 + int(random.bounded(2));
        contents += QByteArray::number(holdMs);
        for (int i = 0; i < length; ++i)
            contents += ' ' + QByteArray::number(random.bounded(256), 16).rightJustified(2, '0').toUpper();
        contents += '\n';
    }
    return contents;
}

// Frame counts at which a transfer may stop on a cancel: after a line's last send.
QVector<int> packetLineEnds(const QByteArray &contents)
{
    QVector<int> ends;
    const QVector<quint32> holds = expectedHoldTimesMs(contents);
    for (int frame = 0; frame < holds.size(); ++frame) {
        if (holds.at(frame) != 0)
            ends << frame + 1;
    }
    return ends;
}

// n different frame numbers out of 0..count-1, the first and the last among them.
QVector<int> distinctFrames(QRandomGenerator &random, int n, int count)
{
    QVector<int> chosen{0, count - 1};
    while (chosen.size() < n) {
        const int frame = int(random.bounded(count));
        if (!chosen.contains(frame))
            chosen << frame;
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

qint64 firstFailedBreakNs()
{
    for (const dmxShim::event &e : dmxShim::events()) {
        if (e.type == dmxShim::event::Failed && e.call == "TIOCSBRK")
            return e.startNs;
    }
    return -1;
}

int entriesOf(const char *directory)
{
    return QDir(QLatin1String(directory)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

// Breaks and writes, whoever made them.
int framesIn(const QVector<dmxShim::event> &events)
{
    return int(std::count_if(events.begin(), events.end(), [](const dmxShim::event &e) {
        return e.type == dmxShim::event::BreakOn || e.type == dmxShim::event::Write;
    }));
}

struct driverRun {
    QStringList lines;
    QVector<dmxShim::event> events;
    int exitCode = -1; // -1 if it crashed or had to be killed
    qint64 endedNs = 0;
};

// The driver to its end, in a directory of its own with the update file, its
// shim events logged there; as an unprivileged user if asked.
driverRun runDriver(const QByteArray &contents, const QStringList &arguments, bool asNobody = false)
{
    driverRun run;
    updateFiles place;
    const QString path = place.write(QStringLiteral("update.fwb"), contents);
    QStringList command{QStringLiteral(RELIABILITY_DRIVER)};
    if (asNobody) {
        for (const QString &owned : {place.directory(), path}) {
            if (chown(QFile::encodeName(owned).constData(), nobody, nobody) != 0)
                return run;
        }
        chmod(QFile::encodeName(place.directory()).constData(), 0755);
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups")} + command;
    }
    QProcess driver;
    driver.setWorkingDirectory(place.directory());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DMXSHIM_LOG"), place.path(QStringLiteral("shim.log")));
    driver.setProcessEnvironment(environment);
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(command.takeFirst(), command + arguments);
    const bool ended = driver.waitForFinished(runTimeoutMs);
    run.endedNs = monotonicNs();
    if (!ended) {
        driver.kill();
        driver.waitForFinished();
    }
    run.exitCode = ended && driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
    run.lines = QString::fromLocal8Bit(driver.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.events = dmxShim::readLog(place.path(QStringLiteral("shim.log")));
    return run;
}

} // namespace

class tst_reliabilityFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void unpluggedAtTenFrames();
    void canceledAtTwentyMoments();
    void quitDuringALongUpdate_data();
    void quitDuringALongUpdate();
    void hundredUpdatesInARow();
    void portRefusedByShim_data();
    void portRefusedByShim();
    void deviceGoneBetweenRefreshAndStart();
    void heldOpenByAnotherProcess();
    void noPermissionForAnUnprivilegedUser();

private:
    QString context(const QString &what) const;
    void verifyRefused(windowRig &rig, const QString &message);

    virtualDmxAdapter adapter;
    updateFiles files;
    quint32 seed = 0;
};

void tst_reliabilityFaults::initTestCase()
{
    quietenExpectedOutput();
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    seed = campaignSeed(fixedSeed);
}

void tst_reliabilityFaults::init()
{
    dmxShim::reset();
}

QString tst_reliabilityFaults::context(const QString &what) const
{
    return QStringLiteral("seed 0x%1, %2").arg(seed, 0, 16).arg(what);
}

void tst_reliabilityFaults::unpluggedAtTenFrames()
{
    QRandomGenerator random(seed);
    const QByteArray contents = campaignFile(random, 40, 2);
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("unplug.fwb"), contents)));
    qint64 slowestNs = 0;
    for (int frames : distinctFrames(random, 10, expected.size())) {
        const QString where = context(QStringLiteral("unplugged after %1 of %2 frames").arg(frames).arg(expected.size()));
        dmxShim::reset();
        dmxShim::unplugAfterFrames(frames);
        const int messagesBefore = rig.messages().size();
        QVERIFY2(rig.clickStart(), qPrintable(where));

        QVERIFY2(waitFor([] { return firstFailedBreakNs() >= 0; }, runTimeoutMs), qPrintable(where));
        const qint64 faultNs = firstFailedBreakNs();
        const bool settled = waitUntil(
            [&] { return rig.messages().size() > messagesBefore && rig.isIdleAfterError(); },
            faultNs + faultToIdleBoundNs);
        QVERIFY2(settled, qPrintable(where + QStringLiteral(": not idle with a message 2 s after the fault")));
        slowestNs = qMax(slowestNs, monotonicNs() - faultNs);

        // Nothing the dead run still had to say may reach the operator later.
        QTest::qWait(150);
        QVERIFY2(rig.messages().size() == messagesBefore + 1, qPrintable(where + QStringLiteral(": not one box")));
        QCOMPARE(rig.messages().last(), unplugged);
        QVERIFY2(rig.isIdleAfterError(), qPrintable(where));
        QVERIFY2(framesOnTheWire() == expected.mid(0, frames), qPrintable(where));
    }
    qInfo("unplugged 10 times; slowest fault to idle window: %lld ms", slowestNs / 1000000);
}

void tst_reliabilityFaults::canceledAtTwentyMoments()
{
    QRandomGenerator random(seed ^ 0xca11ed);
    // The last hold is long, so a cancel that comes late still lands in it.
    const QByteArray contents = campaignFile(random, 30, 400);
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    const QVector<int> lineEnds = packetLineEnds(contents);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("cancel.fwb"), contents)));
    // Cancel once the worker has begun this many frames; 0 is right after Start.
    QVector<int> moments = distinctFrames(random, 19, expected.size());
    moments.prepend(0);
    for (int afterBreaks : moments) {
        const QString where = context(QStringLiteral("cancel after %1 of %2 frames").arg(afterBreaks).arg(expected.size()));
        dmxShim::reset();
        QVERIFY2(rig.clickStart(), qPrintable(where));
        QVERIFY2(waitFor([=] { return breaksOnTheWire() >= afterBreaks; }, runTimeoutMs), qPrintable(where));
        // Every click asks again; the run still ends once.
        rig.clickCancel();
        rig.clickCancel();

        QVERIFY2(waitFor([&] { return !rig.isSending(); }, runTimeoutMs), qPrintable(where));
        QVERIFY2(rig.hasEndedAs(QStringLiteral("Canceled!")), qPrintable(where + QStringLiteral(": ended as ") + rig.buttonText()));
        const QVector<QByteArray> sent = framesOnTheWire();
        QVERIFY2(sent == expected.mid(0, sent.size()), qPrintable(where + QStringLiteral(": not a prefix")));
        QVERIFY2(sent.size() >= qMax(afterBreaks, 1), qPrintable(where));
        QVERIFY2(lineEnds.contains(sent.size()),
                 qPrintable(where + QStringLiteral(": stopped inside a packet line, after %1 frames").arg(sent.size())));
        QVERIFY2(rig.messages().isEmpty(), qPrintable(where));

        rig.clickUpdateButton();
        QCOMPARE(rig.buttonText(), QStringLiteral("Start"));
    }
}

void tst_reliabilityFaults::quitDuringALongUpdate_data()
{
    QTest::addColumn<int>("afterFrames");
    QTest::newRow("while the first packet is repeated") << 2;
    QTest::newRow("in the first hold") << 6;
    QTest::newRow("in a later hold") << 8;
}

// Quit in the App menu, the window in a process of its own: the process must
// end within the packet line in flight, its hold and one second, cleanly,
// after whole frames only.
void tst_reliabilityFaults::quitDuringALongUpdate()
{
    QFETCH(int, afterFrames);
    const int holdMs = 1500;
    const int packetBytes = 512;
    QByteArray line = QByteArray::number(holdMs);
    for (int i = 0; i < packetBytes; ++i)
        line += ' ' + QByteArray::number(0x10 + i % 0xE0, 16).toUpper();
    const QByteArray contents = standardHeader() + (line + '\n').repeated(60);
    const driverRun run = runDriver(contents, {QStringLiteral("--quit-after-frames"), QString::number(afterFrames)});
    // Nothing after Quit: no box, no end of the update.
    QCOMPARE(run.lines.size(), 1);
    QVERIFY2(run.lines.first().startsWith(QLatin1String("quit ")), qPrintable(run.lines.first()));
    const qint64 afterQuitNs = run.endedNs - run.lines.first().mid(5).toLongLong();
    qInfo("ended %lld ms after Quit", afterQuitNs / 1000000);
    // The packet line in flight may still have its five repetitions to send,
    // each a character of 44 us (250 000 bit/s, 8N2) per byte, start code included.
    QVERIFY(afterQuitNs <= 6 * (packetBytes + 1) * 44000 + qint64(holdMs) * 1000000 + 1000000000);
    QCOMPARE(run.exitCode, 0);

    const QVector<QByteArray> sent = frameBytes(decodeFrames(run.events));
    QVERIFY(sent.size() >= afterFrames);
    QVERIFY(sent.size() < expectedWireFrames(contents).size());
    QCOMPARE(sent, expectedWireFrames(contents).mid(0, sent.size()));
}

// A day at the rack: most updates finish, some are canceled, some lose the
// adapter or its DTR line. Threads and open descriptors must not grow between
// update 10 and update 100; LeakSanitizer watches the memory.
void tst_reliabilityFaults::hundredUpdatesInARow()
{
    const QByteArray contents = standardHeader() + "0 01 02 03\n1 04 05 06\n# middle\n0 07\n1 08 09\n";
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("day.fwb"), contents)));

    int threadsAfterTen = 0;
    int descriptorsAfterTen = 0;
    for (int update = 1; update <= 100; ++update) {
        const QString where = QStringLiteral("update %1").arg(update);
        dmxShim::reset();
        const int messagesBefore = rig.messages().size();
        // The figures are taken at the same point of this pattern of ten.
        const int kind = update % 10;
        if (kind == 8)
            dmxShim::unplugAfterFrames(3);
        if (kind == 9)
            dmxShim::failDtr(EIO);
        QVERIFY2(rig.clickStart(), qPrintable(where));
        if (kind == 7)
            rig.clickCancel();

        if (kind >= 8) {
            QVERIFY2(waitFor([&] { return rig.messages().size() > messagesBefore && rig.isIdleAfterError(); },
                             runTimeoutMs), qPrintable(where));
            QVERIFY2(rig.messages().size() == messagesBefore + 1, qPrintable(where));
            QCOMPARE(rig.messages().last(), kind == 8 ? unplugged : noDtr);
        } else {
            const QString ending = kind == 7 ? QStringLiteral("Canceled!") : QStringLiteral("Finished!");
            QVERIFY2(waitFor([&] { return rig.hasEndedAs(ending); }, runTimeoutMs), qPrintable(where));
            // The final progress stays in view until the click; a bar not reset
            // by the last run would stop short of the end.
            QVERIFY2(rig.currentPage("infoStackedWidget") == QLatin1String("progressPage"), qPrintable(where));
            if (kind != 7)
                QVERIFY2(framesOnTheWire() == expected && rig.progressValue() == rig.progressMaximum(), qPrintable(where));
            const QString application = rig.labelText("applicationDisplayLabel");
            rig.clickUpdateButton();
            // A cancel leads back to the file information, until the first error (update 8) wipes it.
            const char *page = kind == 7 && update < 8 ? "fixtureDisplayPage" : "selectFilePage";
            QVERIFY2(rig.hasEndedAs(QStringLiteral("Start")) && rig.currentPage("infoStackedWidget") == QLatin1String(page)
                         && rig.progressValue() == 0 && rig.labelText("applicationDisplayLabel") == application,
                     qPrintable(where));
            QVERIFY2(rig.messages().size() == messagesBefore, qPrintable(where));
        }
        if (update == 10) {
            threadsAfterTen = entriesOf("/proc/self/task");
            descriptorsAfterTen = entriesOf("/proc/self/fd");
        }
    }
    const int threads = entriesOf("/proc/self/task");
    const int descriptors = entriesOf("/proc/self/fd");
    qInfo("threads %d -> %d, descriptors %d -> %d between update 10 and update 100", threadsAfterTen, threads,
          descriptorsAfterTen, descriptors);
    QVERIFY(threads <= threadsAfterTen);
    QVERIFY(descriptors <= descriptorsAfterTen);
}

// Ports that cannot be used: the window names the reason in one box, returns
// to idle and puts nothing on the wire. Some inject the failure with the shim;
// the others make it for real (a vanished device, another process, file modes).
void tst_reliabilityFaults::verifyRefused(windowRig &rig, const QString &message)
{
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("update.fwb"), updateContents)));
    QVERIFY(rig.clickStart());
    QVERIFY(waitFor([&] { return !rig.messages().isEmpty() && rig.isIdleAfterError(); }, runTimeoutMs));
    QTest::qWait(100);
    QCOMPARE(rig.messages(), QStringList{message});
    QVERIFY(rig.isIdleAfterError());
    QCOMPARE(framesIn(dmxShim::events()), 0);
    qInfo("%s", qPrintable(QStringLiteral("refused with \"%1\"").arg(message)));
}

void tst_reliabilityFaults::portRefusedByShim_data()
{
    QTest::addColumn<int>("openErrno");
    QTest::addColumn<int>("dtrErrno");
    QTest::addColumn<QString>("message");
    QTest::newRow("no permission (shim: open fails with EACCES)")
        << int(EACCES) << 0 << QStringLiteral("Serialport Error: PermissionError");
    QTest::newRow("busy (shim: open fails with EBUSY)")
        << int(EBUSY) << 0 << QStringLiteral("Serialport Error: PermissionError");
    QTest::newRow("DTR cannot be raised (shim: EIO)")
        << 0 << int(EIO) << QStringLiteral("Unable to set DataTerminalReady");
}

void tst_reliabilityFaults::portRefusedByShim()
{
    QFETCH(int, openErrno);
    QFETCH(int, dtrErrno);
    QFETCH(QString, message);
    windowRig rig(adapter.portName());
    dmxShim::failOpen(openErrno);
    dmxShim::failDtr(dtrErrno);
    verifyRefused(rig, message);
}

// Real: the interface is listed, then unplugged before Start is pressed.
void tst_reliabilityFaults::deviceGoneBetweenRefreshAndStart()
{
    auto vanishing = std::make_unique<virtualDmxAdapter>();
    QVERIFY(vanishing->isValid());
    const QString port = vanishing->portName();
    windowRig rig(port);
    vanishing.reset();
    QVERIFY(!QFile::exists(port));
    verifyRefused(rig, QStringLiteral("Serialport Error: DeviceNotFoundError"));
}

// Real: another program holds the port through the serial-port library, which
// leaves its lock file and asks the terminal for exclusive use.
void tst_reliabilityFaults::heldOpenByAnotherProcess()
{
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QStringLiteral(RELIABILITY_DRIVER), {QStringLiteral("--hold"), adapter.portName()});
    QVERIFY(holder.waitForReadyRead(runTimeoutMs));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    {
        windowRig rig(adapter.portName());
        verifyRefused(rig, QStringLiteral("Serialport Error: PermissionError"));
    }
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(runTimeoutMs));
    QCOMPARE(holder.exitCode(), 0);
}

// Real: the device node has mode 000 and the window runs as an unprivileged
// user (root would open it regardless). The same user can use the port when
// the mode allows it, so the mode is the reason.
void tst_reliabilityFaults::noPermissionForAnUnprivilegedUser()
{
    if (geteuid() != 0)
        QSKIP("needs root to run the window as another user; the shim variant covers the message");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv (util-linux) is missing");

    const QByteArray port = QFile::encodeName(adapter.portName());
    QCOMPARE(chown(port.constData(), nobody, nobody), 0);
    QCOMPARE(chmod(port.constData(), 0600), 0);
    const driverRun allowed = runDriver(updateContents, {QStringLiteral("--port"), adapter.portName()}, true);
    QCOMPARE(allowed.lines, QStringList{QStringLiteral("end Finished!")});
    QCOMPARE(frameBytes(decodeFrames(allowed.events)), expectedWireFrames(updateContents));

    QCOMPARE(chmod(port.constData(), 0), 0);
    const driverRun refused = runDriver(updateContents, {QStringLiteral("--port"), adapter.portName()}, true);
    chmod(port.constData(), 0600);
    QCOMPARE(refused.exitCode, 0);
    QCOMPARE(refused.lines,
             QStringList({QStringLiteral("box Serialport Error: PermissionError"), QStringLiteral("end Start")}));
    QCOMPARE(framesIn(refused.events), 0);
}

QTEST_MAIN(tst_reliabilityFaults)
#include "tst_reliabilityFaults.moc"
