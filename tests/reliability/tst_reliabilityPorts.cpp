// Ports that cannot be used: the window must name the reason in one box,
// return to idle, and put nothing on the wire. Cases marked "real" make the
// failure for real (file modes, another process, a vanished device); the
// others inject it with the shim.

#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const int runTimeoutMs = 30000;
const uid_t nobody = 65534;
const QByteArray updateContents = standardHeader() + "1 01 02 03\n1 04 05 06\n";

// Whatever the process logged through DMXSHIM_LOG, or did itself.
int framesIn(const QVector<dmxShim::event> &events)
{
    int frames = 0;
    for (const dmxShim::event &e : events)
        frames += e.type == dmxShim::event::BreakOn || e.type == dmxShim::event::Write;
    return frames;
}

struct driverRun {
    QStringList lines;
    QVector<dmxShim::event> events;
    int exitCode = -1;
};

// The driver in a directory of its own, as an unprivileged user, on the given port.
driverRun runDriverAsNobody(const QString &port)
{
    driverRun run;
    updateFiles place;
    place.write(QStringLiteral("update.fwb"), updateContents);
    const QString log = place.path(QStringLiteral("shim.log"));
    for (const QString &path : {place.directory(), place.path(QStringLiteral("update.fwb"))}) {
        if (chown(QFile::encodeName(path).constData(), nobody, nobody) != 0)
            return run;
    }
    chmod(QFile::encodeName(place.directory()).constData(), 0755);

    QProcess driver;
    driver.setWorkingDirectory(place.directory());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DMXSHIM_LOG"), log);
    driver.setProcessEnvironment(environment);
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                             QStringLiteral("--clear-groups"), QStringLiteral(RELIABILITY_DRIVER),
                                             QStringLiteral("--port"), port});
    if (!driver.waitForFinished(runTimeoutMs)) {
        driver.kill();
        driver.waitForFinished();
    }
    run.exitCode = driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
    run.lines = QString::fromLocal8Bit(driver.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.events = dmxShim::readLog(log);
    return run;
}

} // namespace

class tst_reliabilityPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void injectedFailures_data();
    void injectedFailures();
    void deviceGoneBetweenRefreshAndStart();
    void heldOpenByAnotherProcess();
    void noPermissionForAnUnprivilegedUser();

private:
    void verifyRefused(windowRig &rig, const QString &message);

    virtualDmxAdapter adapter;
    updateFiles files;
    QString updatePath;
};

void tst_reliabilityPorts::initTestCase()
{
    quietenExpectedOutput();
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    updatePath = files.write(QStringLiteral("update.fwb"), updateContents);
}

void tst_reliabilityPorts::init()
{
    dmxShim::reset();
}

// Starts the update and expects the port to be refused with the message.
void tst_reliabilityPorts::verifyRefused(windowRig &rig, const QString &message)
{
    QVERIFY(rig.chooseFile(updatePath));
    QVERIFY(rig.clickStart());
    QVERIFY(waitFor([&] { return !rig.messages().isEmpty() && rig.isIdleAfterError(); }, runTimeoutMs));
    QTest::qWait(100);
    QCOMPARE(rig.messages(), QStringList{message});
    QVERIFY(rig.isIdleAfterError());
    QCOMPARE(framesIn(dmxShim::events()), 0);
    qInfo("%s", qPrintable(QStringLiteral("refused with \"%1\"").arg(message)));
}

void tst_reliabilityPorts::injectedFailures_data()
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

void tst_reliabilityPorts::injectedFailures()
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
void tst_reliabilityPorts::deviceGoneBetweenRefreshAndStart()
{
    auto unplugged = std::make_unique<virtualDmxAdapter>();
    QVERIFY(unplugged->isValid());
    const QString port = unplugged->portName();
    windowRig rig(port);
    unplugged.reset();
    QVERIFY(!QFile::exists(port));
    verifyRefused(rig, QStringLiteral("Serialport Error: DeviceNotFoundError"));
}

// Real: another program holds the port through the serial-port library, which
// leaves its lock file and asks the terminal for exclusive use.
void tst_reliabilityPorts::heldOpenByAnotherProcess()
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
void tst_reliabilityPorts::noPermissionForAnUnprivilegedUser()
{
    if (geteuid() != 0)
        QSKIP("needs root to run the window as another user; the shim variant covers the message");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv (util-linux) is missing");

    const QByteArray port = QFile::encodeName(adapter.portName());
    QCOMPARE(chown(port.constData(), nobody, nobody), 0);
    QCOMPARE(chmod(port.constData(), 0600), 0);
    const driverRun allowed = runDriverAsNobody(adapter.portName());
    QCOMPARE(allowed.lines, QStringList{QStringLiteral("end Finished!")});
    QCOMPARE(frameBytes(decodeFrames(allowed.events)), expectedWireFrames(updateContents));

    QCOMPARE(chmod(port.constData(), 0), 0);
    const driverRun refused = runDriverAsNobody(adapter.portName());
    chmod(port.constData(), 0600);
    QCOMPARE(refused.exitCode, 0);
    QCOMPARE(refused.lines,
             QStringList({QStringLiteral("box Serialport Error: PermissionError"), QStringLiteral("end Start")}));
    QCOMPARE(framesIn(refused.events), 0);
}

QTEST_MAIN(tst_reliabilityPorts)
#include "tst_reliabilityPorts.moc"
