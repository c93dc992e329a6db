// The worker on the port: set-up failures, a vanishing adapter, frame timing
// and slow or stuck writes, over the virtual adapter.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "transferHarness.h"
#include "virtualDmxAdapter.h"

#include <QSerialPort>
#include <QtTest>

#include <algorithm>

using dmxShim::event;

namespace {

QByteArray bytesOnTheWire()
{
    QByteArray bytes;
    for (const event &e : dmxShim::events()) {
        if (e.type == event::Write)
            bytes += e.bytes;
    }
    return bytes;
}

// No byte may go out once a call on the port has failed.
bool nothingWrittenAfterTheFirstFailure()
{
    qint64 firstFailureNs = -1;
    for (const event &e : dmxShim::events()) {
        if (e.type == event::Failed && firstFailureNs < 0)
            firstFailureNs = e.startNs;
        if (e.type == event::Write && firstFailureNs >= 0 && e.endNs > firstFailureNs)
            return false;
    }
    return true;
}

QString statistics(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return QStringLiteral("min %1 median %2 max %3").arg(values.first()).arg(values.at(values.size() / 2)).arg(values.last());
}

} // namespace

class tst_serialLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void setUpFailureIsReportedAtStart_data();
    void setUpFailureIsReportedAtStart();
    void unpluggedAdapterIsReportedOnce_data();
    void unpluggedAdapterIsReportedOnce();
    void frameTiming_data();
    void frameTiming();
    void slowWritesStillDeliverEveryByte();
    void stuckWriteEndsWithTimeout();

private:
    updateFileWriter updateFiles;
    virtualDmxAdapter adapter;
};

void tst_serialLink::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    QVERIFY(updateFiles.isValid());
}

void tst_serialLink::init()
{
    dmxShim::reset();
    adapter.clearReceived();
}

void tst_serialLink::setUpFailureIsReportedAtStart_data()
{
    QTest::addColumn<int>("dtrErrno");
    QTest::addColumn<int>("openErrno");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("report");

    const QString adapterPort = QStringLiteral("adapter");
    QTest::newRow("DTR cannot be raised") << EIO << 0 << adapterPort << "sendError:Unable to set DataTerminalReady";
    QTest::newRow("permission denied") << 0 << EACCES << adapterPort
                                       << QStringLiteral("portStatus:%1").arg(QSerialPort::PermissionError);
    QTest::newRow("device gone") << 0 << ENOENT << adapterPort
                                 << QStringLiteral("portStatus:%1").arg(QSerialPort::DeviceNotFoundError);
    QTest::newRow("no such pty") << 0 << 0 << "/dev/pts/987654"
                                 << QStringLiteral("portStatus:%1").arg(QSerialPort::DeviceNotFoundError);
}

void tst_serialLink::setUpFailureIsReportedAtStart()
{
    QFETCH(int, dtrErrno);
    QFETCH(int, openErrno);
    QFETCH(QString, portName);
    QFETCH(QString, report);
    if (portName == QLatin1String("adapter"))
        portName = adapter.portName();

    dmxShim::failDtr(dtrErrno);
    dmxShim::failOpen(openErrno);
    transferRun run(portName, updateFiles.write(workedExample));
    dmxShim::failOpen(0);
    run.start();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{report});
    QVERIFY(run.lengths.isEmpty());
    QVERIFY(run.progressSteps.isEmpty());
    QCOMPARE(dmxShim::eventCount(event::BreakOn), 0);
    QCOMPARE(dmxShim::eventCount(event::Write), 0);
    QVERIFY(adapter.received().isEmpty());
}

void tst_serialLink::unpluggedAdapterIsReportedOnce_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("unplugAfterFrames");
    QTest::addColumn<int>("unplugAfterWrites");
    QTest::addColumn<bool>("slowly");

    QTest::newRow("at a break") << workedExample << 8 << -1 << false;
    QTest::newRow("during a hold") << QByteArray("0 01\n300 02\n0 03\n") << -1 << 7 << false;
    QTest::newRow("during a write") << QByteArray("0" + QByteArray(" 5A").repeated(100) + "\n") << -1 << 20 << true;
}

void tst_serialLink::unpluggedAdapterIsReportedOnce()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, unplugAfterFrames);
    QFETCH(int, unplugAfterWrites);
    QFETCH(bool, slowly);

    if (slowly)
        dmxShim::slowWrites(1, 2000);
    dmxShim::unplugAfterFrames(unplugAfterFrames);
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    if (unplugAfterWrites > 0) {
        QVERIFY(dmxShim::waitForEvents(event::Write, unplugAfterWrites, 10000));
        dmxShim::unplugNow();
    }
    QVERIFY(run.waitForEnd(20000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{QStringLiteral("portStatus:%1").arg(QSerialPort::ResourceError)});
    QVERIFY(nothingWrittenAfterTheFirstFailure());
    const QByteArray wire = bytesOnTheWire();
    QVERIFY(!wire.isEmpty());
    QVERIFY(concatenated(expectedWireFrames(contents)).startsWith(wire));
    if (unplugAfterFrames > 0)
        QCOMPARE(decodeFrames(dmxShim::events()).size(), unplugAfterFrames);
}

void tst_serialLink::frameTiming_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("worked example") << workedExample;
    QTest::newRow("512-byte, empty and short packets") << QByteArray("3" + QByteArray(" 01").repeated(512) + "\n0\n1 02 03\n");
}

void tst_serialLink::frameTiming()
{
    QFETCH(QByteArray, contents);

    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(run.waitForEnd(20000));
    QCOMPARE(run.endings, QStringList{"finished"});

    const QVector<decodedFrame> frames = decodeFrames(dmxShim::events());
    const QVector<quint32> holdTimes = expectedHoldTimesMs(contents);
    QCOMPARE(frames.size(), holdTimes.size());
    QVector<qint64> breaks, marks, gaps;
    for (int i = 0; i < frames.size(); ++i) {
        const decodedFrame &frame = frames.at(i);
        QVERIFY2(frame.breakUs >= 500, qPrintable(QStringLiteral("frame %1: break %2 us").arg(i).arg(frame.breakUs)));
        QVERIFY2(frame.markUs >= 100, qPrintable(QStringLiteral("frame %1: mark %2 us").arg(i).arg(frame.markUs)));
        breaks << frame.breakUs;
        marks << frame.markUs;
        if (i + 1 == frames.size())
            break;
        const qint64 minimumGap = 44 * qint64(frame.bytes.size() - 1) + 1000 * qint64(holdTimes.at(i));
        QVERIFY2(frame.gapUs >= minimumGap,
                 qPrintable(QStringLiteral("frame %1: gap %2 us, at least %3 us").arg(i).arg(frame.gapUs).arg(minimumGap)));
        gaps << frame.gapUs;
    }
    qInfo("break %s; mark %s; gap %s (us)", qPrintable(statistics(breaks)), qPrintable(statistics(marks)),
          qPrintable(statistics(gaps)));
}

void tst_serialLink::slowWritesStillDeliverEveryByte()
{
    const QByteArray contents = workedExample + "0" + QByteArray(" 11").repeated(300) + "\n";
    dmxShim::slowWrites(7, 200);
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(run.waitForEnd(30000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"finished"});
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    QCOMPARE(frameBytes(decodeFrames(dmxShim::events())), expected);
    // The writes really were partial.
    QVERIFY(dmxShim::eventCount(event::Write) > expected.size());
    const QByteArray all = concatenated(expected);
    QVERIFY(adapter.waitForReceived(all.size(), 5000));
    QCOMPARE(adapter.received(), all);
}

void tst_serialLink::stuckWriteEndsWithTimeout()
{
    // One byte every 1.5 s: far beyond the bound for a two-byte frame.
    dmxShim::slowWrites(1, 1500000);
    transferRun run(adapter.portName(), updateFiles.write("0 01\n0 02\n"));
    run.start();
    QVERIFY(run.waitForEnd(20000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{QStringLiteral("portStatus:%1").arg(QSerialPort::TimeoutError)});
    QCOMPARE(bytesOnTheWire(), QByteArray(1, '\0'));
    QCOMPARE(dmxShim::eventCount(event::BreakOn), 1);
}

QTEST_GUILESS_MAIN(tst_serialLink)
#include "tst_serialLink.moc"
