#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"

#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Inside a QObject "event" would name QObject::event().
using shimEvent = dmxShim::event;

namespace {

const char childPortVariable[] = "TST_SUPPORT_CHILD_PORT";

bool openLikeTheWorker(QSerialPort &port, const QString &portName)
{
    port.setPortName(portName);
    return port.setBaudRate(250000) && port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity)
        && port.setStopBits(QSerialPort::TwoStop) && port.setFlowControl(QSerialPort::NoFlowControl)
        && port.open(QIODevice::ReadWrite);
}

// Break, mark, write, waiting for the bytes to leave as the worker does.
bool sendFrame(QSerialPort &port, const QByteArray &frame)
{
    if (!port.setBreakEnabled(true))
        return false;
    QThread::usleep(500);
    if (!port.setBreakEnabled(false))
        return false;
    QThread::usleep(100);
    if (port.write(frame) != frame.size())
        return false;
    port.flush();
    while (port.bytesToWrite() > 0) {
        if (!port.waitForBytesWritten(5000))
            return false;
    }
    return true;
}

QVector<shimEvent::kind> kindsOf(const QVector<shimEvent> &events)
{
    QVector<shimEvent::kind> kinds;
    for (const shimEvent &e : events)
        kinds.append(e.type);
    return kinds;
}

QVector<shimEvent> withoutOpenAndClose(const QVector<shimEvent> &events)
{
    QVector<shimEvent> kept;
    for (const shimEvent &e : events) {
        if (e.type != shimEvent::Open && e.type != shimEvent::Close)
            kept.append(e);
    }
    return kept;
}

shimEvent makeEvent(shimEvent::kind type, qint64 startNs, qint64 endNs, const QByteArray &bytes = QByteArray())
{
    shimEvent e;
    e.type = type;
    e.startNs = startNs;
    e.endNs = endNs;
    e.bytes = bytes;
    e.result = type == shimEvent::Write ? bytes.size() : 0;
    return e;
}

// The child half of logIsWrittenForOtherProcesses: plain syscalls, one
// frame, then a second break that the armed unplug makes fail.
int runLoggedChild(const QByteArray &portName)
{
    const int fd = open(portName.constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 2;
    ioctl(fd, TIOCSBRK);
    usleep(500);
    ioctl(fd, TIOCCBRK);
    const char frame[] = { 0x00, 0x11, 0x22 };
    for (size_t sent = 0; sent < sizeof frame;) {
        const ssize_t count = write(fd, frame + sent, sizeof frame - sent);
        if (count <= 0)
            return 3;
        sent += size_t(count);
    }
    const bool secondBreakFailed = ioctl(fd, TIOCSBRK) < 0 && errno == EIO;
    close(fd);
    return secondBreakFailed ? 0 : 4;
}

} // namespace

class tst_support : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void portOpensAndRaisesDtr();
    void dtrFailureUsesChosenErrno_data();
    void dtrFailureUsesChosenErrno();
    void openFailureUsesChosenErrno_data();
    void openFailureUsesChosenErrno();
    void frameIsRecordedInOrder();
    void unplugFailsTheBreakAfterTheLastFrame();
    void slowWritesArePartialButComplete();
    void adapterSurvivesReopenedPort();
    void logIsWrittenForOtherProcesses();

    void decoderCutsFramesAtBreaks();
    void decoderLeavesMissingPartsUnmeasured();

    void oracleFollowsWorkedExample();
    void oracleIgnoresLineEndStyle();
    void oracleConvertsFieldsLikeTheReader();
    void oracleRepetitionContinuesFromLastLength();
};

void tst_support::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "start with LD_PRELOAD pointing at libdmxshim.so");
}

void tst_support::init()
{
    dmxShim::reset();
}

void tst_support::portOpensAndRaisesDtr()
{
    virtualDmxAdapter adapter;
    QVERIFY(adapter.isValid());
    QVERIFY(adapter.portName().startsWith("/dev/pts/"));
    QCOMPARE(dmxShim::eventCount(shimEvent::Open), 0); // the adapter's own ends are not watched

    QSerialPort port;
    QVERIFY2(openLikeTheWorker(port, adapter.portName()), qPrintable(port.errorString()));
    QCOMPARE(port.baudRate(), 250000);
    QCOMPARE(port.stopBits(), QSerialPort::TwoStop);
    QVERIFY(!dmxShim::dtrRaised());

    QVERIFY(port.setDataTerminalReady(true));
    QVERIFY(port.isDataTerminalReady());
    QVERIFY(dmxShim::dtrRaised());
    QVERIFY(port.setDataTerminalReady(false));
    QVERIFY(!dmxShim::dtrRaised());

    port.close();
    const QVector<shimEvent> events = dmxShim::events();
    QCOMPARE(kindsOf(events), QVector<shimEvent::kind>({ shimEvent::Open, shimEvent::Close }));
    QCOMPARE(events.first().bytes, adapter.portName().toLocal8Bit());
    QCOMPARE(events.first().fd, events.last().fd);
}

void tst_support::dtrFailureUsesChosenErrno_data()
{
    QTest::addColumn<int>("errnoValue");
    QTest::addColumn<QSerialPort::SerialPortError>("expectedError");
    QTest::newRow("EIO") << EIO << QSerialPort::ResourceError;
    QTest::newRow("EPERM") << EPERM << QSerialPort::PermissionError;
    QTest::newRow("ENOTTY") << ENOTTY << QSerialPort::UnsupportedOperationError;
}

void tst_support::dtrFailureUsesChosenErrno()
{
    QFETCH(int, errnoValue);
    QFETCH(QSerialPort::SerialPortError, expectedError);
    virtualDmxAdapter adapter;
    QSerialPort port;
    QVERIFY(openLikeTheWorker(port, adapter.portName()));

    dmxShim::failDtr(errnoValue);
    QVERIFY(!port.setDataTerminalReady(true));
    QCOMPARE(port.error(), expectedError);
    QVERIFY(!dmxShim::dtrRaised());
    const shimEvent failure = dmxShim::events().last();
    QCOMPARE(failure.type, shimEvent::Failed);
    QCOMPARE(failure.error, errnoValue);

    port.clearError();
    dmxShim::failDtr(0);
    QVERIFY(port.setDataTerminalReady(true));
    QVERIFY(dmxShim::dtrRaised());
    dmxShim::failDtr(errnoValue);
    QVERIFY(port.setDataTerminalReady(true)); // already high: nothing to raise
}

void tst_support::openFailureUsesChosenErrno_data()
{
    QTest::addColumn<int>("errnoValue");
    QTest::addColumn<QSerialPort::SerialPortError>("expectedError");
    QTest::newRow("EACCES") << EACCES << QSerialPort::PermissionError;
    QTest::newRow("EBUSY") << EBUSY << QSerialPort::PermissionError;
    QTest::newRow("ENOENT") << ENOENT << QSerialPort::DeviceNotFoundError;
}

void tst_support::openFailureUsesChosenErrno()
{
    QFETCH(int, errnoValue);
    QFETCH(QSerialPort::SerialPortError, expectedError);
    virtualDmxAdapter adapter;

    dmxShim::failOpen(errnoValue);
    QSerialPort port;
    QVERIFY(!openLikeTheWorker(port, adapter.portName()));
    QCOMPARE(port.error(), expectedError);
    QCOMPARE(dmxShim::eventCount(shimEvent::Open), 0);

    dmxShim::failOpen(0);
    QSerialPort secondPort;
    QVERIFY(openLikeTheWorker(secondPort, adapter.portName()));
}

void tst_support::frameIsRecordedInOrder()
{
    virtualDmxAdapter adapter;
    QSerialPort port;
    QVERIFY(openLikeTheWorker(port, adapter.portName()));
    const QByteArray frame("\x00\x01\x0a\xff", 4); // 0x0a must not become CR LF on the way
    QVERIFY(sendFrame(port, frame));
    QVERIFY(adapter.waitForReceived(frame.size(), 5000));
    QCOMPARE(adapter.received(), frame);

    const QVector<shimEvent> events = withoutOpenAndClose(dmxShim::events());
    QCOMPARE(kindsOf(events), QVector<shimEvent::kind>({ shimEvent::BreakOn, shimEvent::BreakOff, shimEvent::Write }));
    QCOMPARE(events[2].bytes, frame);
    QCOMPARE(events[2].result, frame.size());
    for (int i = 0; i < events.size(); ++i) {
        QVERIFY(events[i].startNs <= events[i].endNs);
        if (i > 0)
            QVERIFY(events[i - 1].endNs <= events[i].startNs);
    }

    const QVector<decodedFrame> frames = decodeFrames(dmxShim::events());
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].bytes, frame);
    QVERIFY(frames[0].breakUs >= 500);
    QVERIFY(frames[0].markUs >= 100);
    QCOMPARE(frames[0].gapUs, qint64(-1));
}

void tst_support::unplugFailsTheBreakAfterTheLastFrame()
{
    virtualDmxAdapter adapter;
    {
        QSerialPort port;
        QVERIFY(openLikeTheWorker(port, adapter.portName()));
        QSignalSpy errors(&port, &QSerialPort::errorOccurred);
        dmxShim::unplugAfterFrames(2);
        QVERIFY(sendFrame(port, QByteArray("\x00\x01", 2)));
        QVERIFY(sendFrame(port, QByteArray("\x00\x02", 2)));
        QVERIFY(!port.setBreakEnabled(true));
        QCOMPARE(port.error(), QSerialPort::ResourceError);
        QVERIFY(!errors.isEmpty());
        QCOMPARE(errors.last().at(0).value<QSerialPort::SerialPortError>(), QSerialPort::ResourceError);

        const shimEvent failure = dmxShim::events().last();
        QCOMPARE(failure.type, shimEvent::Failed);
        QCOMPARE(failure.call, QByteArray("TIOCSBRK"));
        QCOMPARE(failure.error, EIO);
        QCOMPARE(dmxShim::eventCount(shimEvent::BreakOn), 2);
        QCOMPARE(decodeFrames(dmxShim::events()).size(), 2);

        port.clearError();
        QVERIFY(!port.setDataTerminalReady(true));
        QCOMPARE(port.error(), QSerialPort::ResourceError);
    }
    QSerialPort whileUnplugged;
    QVERIFY(!openLikeTheWorker(whileUnplugged, adapter.portName()));
    QCOMPARE(whileUnplugged.error(), QSerialPort::DeviceNotFoundError);

    dmxShim::unplugAfterFrames(-1);
    QSerialPort replugged;
    QVERIFY2(openLikeTheWorker(replugged, adapter.portName()), qPrintable(replugged.errorString()));
    QVERIFY(sendFrame(replugged, QByteArray(1, '\0')));
    dmxShim::unplugNow();
    QVERIFY(!replugged.setBreakEnabled(true));
}

void tst_support::slowWritesArePartialButComplete()
{
    virtualDmxAdapter adapter;
    QSerialPort port;
    QVERIFY(openLikeTheWorker(port, adapter.portName()));
    QByteArray frame(1, '\0');
    for (int i = 0; i < 100; ++i)
        frame.append(char(i * 7));

    dmxShim::slowWrites(7, 200);
    QVERIFY(sendFrame(port, frame));
    QVERIFY(adapter.waitForReceived(frame.size(), 5000));
    QCOMPARE(adapter.received(), frame);

    int writes = 0;
    for (const shimEvent &e : dmxShim::events()) {
        if (e.type == shimEvent::Write) {
            ++writes;
            QVERIFY(e.bytes.size() <= 7);
        }
    }
    QVERIFY(writes >= (frame.size() + 6) / 7);
    const QVector<decodedFrame> frames = decodeFrames(dmxShim::events());
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].bytes, frame);
}

void tst_support::adapterSurvivesReopenedPort()
{
    virtualDmxAdapter adapter;
    for (char round = 1; round <= 3; ++round) {
        QSerialPort port;
        QVERIFY(openLikeTheWorker(port, adapter.portName()));
        QVERIFY(sendFrame(port, QByteArray(2, round)));
    }
    QVERIFY(adapter.waitForReceived(6, 5000));
    QCOMPARE(adapter.received(), QByteArray("\1\1\2\2\3\3"));
    adapter.clearReceived();
    QVERIFY(adapter.received().isEmpty());
    QVERIFY(!adapter.waitForReceived(1, 50));
}

void tst_support::logIsWrittenForOtherProcesses()
{
    virtualDmxAdapter adapter;
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString logPath = directory.filePath("shim.log");

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childPortVariable, adapter.portName());
    environment.insert("DMXSHIM_LOG", logPath);
    environment.insert("DMXSHIM_UNPLUG_AFTER_FRAMES", "1");
    environment.insert("DMXSHIM_SLOW_WRITES", "2:0");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForStarted(20000));
    const qint64 childPid = child.processId();
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 0);

    const QVector<shimEvent> logged = dmxShim::readLog(logPath);
    QCOMPARE(kindsOf(logged), QVector<shimEvent::kind>({ shimEvent::Open, shimEvent::BreakOn, shimEvent::BreakOff, shimEvent::Write,
                                                     shimEvent::Write, shimEvent::Failed, shimEvent::Close }));
    QCOMPARE(logged.first().bytes, adapter.portName().toLocal8Bit());
    QCOMPARE(logged[3].bytes, QByteArray("\x00\x11", 2));
    QCOMPARE(logged[5].call, QByteArray("TIOCSBRK"));
    QCOMPARE(logged[5].error, EIO);
    for (const shimEvent &e : logged)
        QCOMPARE(e.pid, childPid);

    const QVector<decodedFrame> frames = decodeFrames(logged);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].bytes, QByteArray("\x00\x11\x22", 3));
    QVERIFY(frames[0].breakUs >= 500);
    QVERIFY(adapter.waitForReceived(3, 5000));
    QCOMPARE(dmxShim::eventCount(shimEvent::Open), 0); // the child's events stay in the child
}

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
        makeEvent(shimEvent::BreakOn, 5715000, 5716000),
        makeEvent(shimEvent::BreakOff, 6216000, 6217000),
        makeEvent(shimEvent::Write, 6417000, 6418000, QByteArray(1, '\0')),
    };
    const QVector<decodedFrame> frames = decodeFrames(events);
    QCOMPARE(frames.size(), 2);

    QCOMPARE(frames[0].bytes, QByteArray("\x00\x01\x02\x03", 4));
    QCOMPARE(frames[0].breakUs, qint64(600));
    QCOMPARE(frames[0].markUs, qint64(100));
    QCOMPARE(frames[0].gapUs, qint64(5000));
    QCOMPARE(frames[0].breakStartNs, qint64(10000));
    QCOMPARE(frames[0].writeEndNs, qint64(715000));

    QCOMPARE(frames[1].bytes, QByteArray(1, '\0'));
    QCOMPARE(frames[1].breakUs, qint64(500));
    QCOMPARE(frames[1].markUs, qint64(200));
    QCOMPARE(frames[1].gapUs, qint64(-1));
}

void tst_support::decoderLeavesMissingPartsUnmeasured()
{
    const QVector<shimEvent> events = {
        makeEvent(shimEvent::BreakOn, 0, 1000),
        makeEvent(shimEvent::BreakOn, 2000, 3000),
        makeEvent(shimEvent::Write, 4000, 5000, QByteArray(1, '\0')),
    };
    const QVector<decodedFrame> frames = decodeFrames(events);
    QCOMPARE(frames.size(), 2);
    QVERIFY(frames[0].bytes.isEmpty());
    QCOMPARE(frames[0].breakUs, qint64(-1));
    QCOMPARE(frames[0].gapUs, qint64(-1));
    QCOMPARE(frames[1].markUs, qint64(-1));
    QCOMPARE(frames[1].bytes.size(), 1);
    QVERIFY(decodeFrames({}).isEmpty());
}

void tst_support::oracleFollowsWorkedExample()
{
    const QByteArray file("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n# second block\n25 7F 80 81\n"
                          "100 01\n");
    const QByteArray first("\x00\x00\xff\x10", 4);
    const QByteArray second("\x00\x7f\x80\x81", 4);
    const QByteArray third("\x00\x01", 2);
    QVector<QByteArray> expected = QVector<QByteArray>(6, first) << second << QVector<QByteArray>(6, third);
    QCOMPARE(expectedWireFrames(file), expected);
    QCOMPARE(expectedHoldTimesMs(file),
             QVector<quint32>({ 0, 0, 0, 0, 0, 40, 25, 0, 0, 0, 0, 0, 100 }));
}

void tst_support::oracleIgnoresLineEndStyle()
{
    const QByteArray unix("# header\n40 00 FF\n\n7\n25 7F 80\n");
    const QVector<QByteArray> expected = expectedWireFrames(unix);
    QCOMPARE(expected.size(), 6 + 6 + 1 + 6); // the empty line and "7" are empty packets
    QCOMPARE(expectedWireFrames(QByteArray(unix).replace("\n", "\r\n")), expected);
    QCOMPARE(expectedWireFrames(unix.left(unix.size() - 1)), expected);
    QVERIFY(expectedWireFrames(QByteArray()).isEmpty());
    QVERIFY(expectedWireFrames("#only\n#comments").isEmpty());
}

void tst_support::oracleConvertsFieldsLikeTheReader()
{
    const QByteArray line(" 00 ff 7 1FF 100 -1 8000 G1  1\t2 \n");
    const QByteArray bytes("\x00\x00\xff\x07\xff\x00\xff\x00\x00\x00\x00\x00", 12);
    QCOMPARE(expectedWireFrames(line), QVector<QByteArray>(6, bytes));
    QCOMPARE(expectedHoldTimesMs(line).last(), 0u);
    QCOMPARE(expectedHoldTimesMs("x1 01\n").last(), 0u);
    QCOMPARE(expectedHoldTimesMs("4294967295 01\n").last(), 4294967295u);
    QCOMPARE(expectedWireFrames(" #x\n").first(), QByteArray(2, '\0'));
}

void tst_support::oracleRepetitionContinuesFromLastLength()
{
    const QByteArray file("1 01 02 03\n2 04 05 06\n3 07\n4 08\n5 09 0A 0B\n");
    QVector<int> sendsPerPacket;
    QByteArray previous;
    for (const QByteArray &frame : expectedWireFrames(file)) {
        if (frame == previous)
            ++sendsPerPacket.last();
        else
            sendsPerPacket.append(1);
        previous = frame;
    }
    QCOMPARE(sendsPerPacket, QVector<int>({ 6, 1, 6, 1, 6 }));
    QCOMPARE(expectedWireFrames("1 01\n", 1).size(), 1);
    QCOMPARE(expectedWireFrames("1\n", 1).size(), 6);
    QCOMPARE(expectedWireFrames("1\n").size(), 1);
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
