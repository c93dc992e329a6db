// What the transfer tests take on trust: the decoder's cuts and measures, the
// oracle's frames, and the shim's record of a process it was started with.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Inside a QObject "event" would name QObject::event().
using shimEvent = dmxShim::event;

namespace {

const char childPortVariable[] = "TST_SUPPORT_CHILD_PORT";

shimEvent makeEvent(shimEvent::kind type, qint64 startNs, qint64 endNs, const QByteArray &bytes = QByteArray())
{
    shimEvent e;
    e.type = type;
    e.startNs = startNs;
    e.endNs = endNs;
    e.bytes = bytes;
    return e;
}

// The child of shimLogsAnotherProcess: one frame in plain system calls, then
// the adapter is gone. Exits with 0 when the shim made it so.
int runLoggedChild(const QByteArray &portName)
{
    int fd = open(portName.constData(), O_RDWR | O_NOCTTY);
    if (fd < 0 || ioctl(fd, TIOCSBRK) < 0)
        return 2;
    usleep(500);
    ioctl(fd, TIOCCBRK);
    if (write(fd, "\x00\x11\x22", 3) != 3)
        return 3;
    const bool breakFailed = ioctl(fd, TIOCSBRK) < 0 && errno == EIO;
    close(fd);
    fd = open(portName.constData(), O_RDWR | O_NOCTTY);
    const bool openFailed = fd < 0 && errno == ENOENT;
    return breakFailed && openFailed ? 0 : 4;
}

} // namespace

class tst_support : public QObject
{
    Q_OBJECT

private slots:
    void decoderCutsFramesAtBreaks();
    void oracleFollowsTheFileRules();
    void shimLogsAnotherProcess();
};

void tst_support::decoderCutsFramesAtBreaks()
{
    const QVector<shimEvent> events = {
        makeEvent(shimEvent::Write, 0, 1000, "stray"),
        makeEvent(shimEvent::BreakOn, 10000, 11000),
        makeEvent(shimEvent::BreakOff, 611000, 612000),
        makeEvent(shimEvent::Write, 712000, 713000, QByteArray("\x00\x01", 2)),
        makeEvent(shimEvent::Failed, 713000, 713500),
        makeEvent(shimEvent::Write, 714000, 715000, "\x02\x03"),
        makeEvent(shimEvent::Close, 715000, 715100),
        makeEvent(shimEvent::BreakOn, 5715000, 5716000), // neither break-off nor bytes
        makeEvent(shimEvent::BreakOn, 6000000, 6001000),
        makeEvent(shimEvent::BreakOff, 6501000, 6502000),
        makeEvent(shimEvent::Write, 6702000, 6703000, QByteArray(1, '\0')),
    };
    const QVector<decodedFrame> frames = decodeFrames(events);
    QCOMPARE(frames.size(), 3);
    QCOMPARE(frameBytes(frames), QVector<QByteArray>({QByteArray("\x00\x01\x02\x03", 4), {}, QByteArray(1, '\0')}));
    const QVector<qint64> measured{frames[0].breakUs, frames[0].markUs, frames[0].gapUs, frames[1].breakUs,
                                   frames[1].markUs,  frames[1].gapUs,  frames[2].breakUs, frames[2].markUs,
                                   frames[2].gapUs};
    QCOMPARE(measured, QVector<qint64>({600, 100, 5000, -1, -1, -1, 500, 200, -1}));
    QVERIFY(decodeFrames({}).isEmpty());
}

void tst_support::oracleFollowsTheFileRules()
{
    const QByteArray example("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n# second block\n"
                             "25 7F 80 81\n100 01\n");
    const QVector<QByteArray> exampleFrames = QVector<QByteArray>(6, QByteArray::fromHex("0000FF10"))
                                              << QByteArray::fromHex("007F8081")
                                              << QVector<QByteArray>(6, QByteArray::fromHex("0001"));
    QCOMPARE(expectedWireFrames(example), exampleFrames);
    QCOMPARE(expectedHoldTimesMs(example), QVector<quint32>({0, 0, 0, 0, 0, 40, 25, 0, 0, 0, 0, 0, 100}));

    // A packet goes out six times whenever its length differs from the one before.
    const QVector<QByteArray> lengthFrames = QVector<QByteArray>(6, QByteArray::fromHex("00010203"))
                                             << QByteArray::fromHex("00040506")
                                             << QVector<QByteArray>(6, QByteArray::fromHex("0007"))
                                             << QByteArray::fromHex("0008")
                                             << QVector<QByteArray>(6, QByteArray::fromHex("00090A0B"));
    QCOMPARE(expectedWireFrames("1 01 02 03\n2 04 05 06\n3 07\n4 08\n5 09 0A 0B\n"), lengthFrames);
}

void tst_support::shimLogsAnotherProcess()
{
    QVERIFY2(dmxShim::isLoaded(), "start with LD_PRELOAD pointing at libdmxshim.so");
    dmxShim::reset();
    virtualDmxAdapter adapter;
    QTemporaryDir directory;
    QVERIFY(adapter.isValid() && directory.isValid());
    const QString logPath = directory.filePath("shim.log");

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childPortVariable, adapter.portName());
    environment.insert("DMXSHIM_LOG", logPath);
    environment.insert("DMXSHIM_UNPLUG_AFTER_FRAMES", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForStarted(20000));
    const qint64 childPid = child.processId();
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 0);

    const QVector<shimEvent> logged = dmxShim::readLog(logPath);
    QVector<shimEvent::kind> kinds;
    for (const shimEvent &e : logged) {
        kinds << e.type;
        QCOMPARE(e.pid, childPid);
    }
    QCOMPARE(kinds, QVector<shimEvent::kind>({shimEvent::Open, shimEvent::BreakOn, shimEvent::BreakOff, shimEvent::Write,
                                              shimEvent::Failed, shimEvent::Close, shimEvent::Failed}));
    QCOMPARE(logged[0].bytes, adapter.portName().toLocal8Bit());
    QCOMPARE(QVector<QByteArray>({logged[4].call, logged[6].call}), QVector<QByteArray>({"TIOCSBRK", "open"}));
    QCOMPARE(QVector<int>({logged[4].error, logged[6].error}), QVector<int>({EIO, ENOENT}));

    const QVector<decodedFrame> frames = decodeFrames(logged);
    QCOMPARE(frameBytes(frames), QVector<QByteArray>{QByteArray("\x00\x11\x22", 3)});
    QVERIFY(frames[0].breakUs >= 500);
    QVERIFY(adapter.waitForReceived(3, 5000));
    QCOMPARE(dmxShim::eventCount(shimEvent::Open), 0); // the child's events stay in the child
}

int main(int argc, char *argv[])
{
    const QByteArray childPort = qgetenv(childPortVariable);
    if (!childPort.isEmpty())
        return runLoggedChild(childPort);
    QCoreApplication application(argc, argv);
    tst_support test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_support.moc"
