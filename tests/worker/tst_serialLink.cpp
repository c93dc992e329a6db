// The worker on the port: set-up failures, a vanishing adapter, frame timing
// and slow or stuck writes, over the virtual adapter.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "serialPortThread.h"
#include "transferHarness.h"
#include "virtualDmxAdapter.h"

#include <QSerialPort>
#include <QtTest>

#include <algorithm>

// Inside a QObject "event" would name QObject::event().
using shimEvent = dmxShim::event;

namespace {

constexpr qint64 characterUs = 44;

QByteArray bytesOnTheWire()
{
    QByteArray bytes;
    for (const shimEvent &e : dmxShim::events()) {
        if (e.type == shimEvent::Write)
            bytes += e.bytes;
    }
    return bytes;
}

// No byte may go out once a call on the port has failed.
bool nothingWrittenAfterTheFirstFailure()
{
    qint64 firstFailureNs = -1;
    for (const shimEvent &e : dmxShim::events()) {
        if (e.type == shimEvent::Failed && firstFailureNs < 0)
            firstFailureNs = e.startNs;
        if (e.type == shimEvent::Write && firstFailureNs >= 0 && e.endNs > firstFailureNs)
            return false;
    }
    return true;
}

QString statistics(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return QStringLiteral("min %1 median %2 max %3").arg(values.first()).arg(values.at(values.size() / 2)).arg(values.last());
}

QString portStatus(QSerialPort::SerialPortError error)
{
    return QStringLiteral("portStatus:%1").arg(error);
}

} // namespace

class tst_serialLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void refusedBeforeTheFirstFrame_data();
    void refusedBeforeTheFirstFrame();
    void unpluggedAdapterIsReportedOnce_data();
    void unpluggedAdapterIsReportedOnce();
    void frameTiming_data();
    void frameTiming();
    void stuckWriteEndsWithTimeout();
    void failedSendWithoutErrorCodeIsReportedOnce();

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

void tst_serialLink::refusedBeforeTheFirstFrame_data()
{
    QTest::addColumn<int>("dtrErrno");
    QTest::addColumn<int>("openErrno");
    QTest::addColumn<QString>("portName"); // empty: the adapter
    QTest::addColumn<bool>("fileMissing");
    QTest::addColumn<QString>("report");   // the path follows when the file is missing

    QTest::newRow("DTR cannot be raised") << EIO << 0 << QString() << false << "sendError:Unable to set DataTerminalReady";
    QTest::newRow("permission denied") << 0 << EACCES << QString() << false << portStatus(QSerialPort::PermissionError);
    QTest::newRow("device gone") << 0 << ENOENT << QString() << false << portStatus(QSerialPort::DeviceNotFoundError);
    QTest::newRow("no such pty") << 0 << 0 << "/dev/pts/987654" << false << portStatus(QSerialPort::DeviceNotFoundError);
    QTest::newRow("missing update file") << 0 << 0 << QString() << true << "sendError:Couldn't Open Update file:";
}

void tst_serialLink::refusedBeforeTheFirstFrame()
{
    QFETCH(int, dtrErrno);
    QFETCH(int, openErrno);
    QFETCH(QString, portName);
    QFETCH(bool, fileMissing);
    QFETCH(QString, report);

    const QString path = fileMissing ? updateFiles.pathOf("missing.fwb") : updateFiles.write(workedExample);
    dmxShim::failDtr(dtrErrno);
    dmxShim::failOpen(openErrno);
    transferRun run(portName.isEmpty() ? adapter.portName() : portName, path);
    dmxShim::failOpen(0);
    run.start();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{fileMissing ? report + path : report});
    QVERIFY(run.lengths.isEmpty());
    QVERIFY(run.progressSteps.isEmpty());
    QCOMPARE(dmxShim::eventCount(shimEvent::BreakOn), 0);
    QCOMPARE(dmxShim::eventCount(shimEvent::Write), 0);
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
        QVERIFY(dmxShim::waitForEvents(shimEvent::Write, unplugAfterWrites, 10000));
        dmxShim::unplugNow();
    }
    QVERIFY(run.waitForEnd(20000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{portStatus(QSerialPort::ResourceError)});
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
    QTest::addColumn<int>("maxBytesPerWrite"); // 0: writes are not cut short
    QTest::addColumn<bool>("cancel");

    // Long last frames without a hold: only the wait for their bytes keeps the port open.
    const QByteArray fullFrame = "0" + QByteArray(" 5A").repeated(512) + "\n";
    QTest::newRow("worked example") << workedExample << 0 << false;
    QTest::newRow("repeats, holds, empty and full packets")
        << workedExample + "0 01 02\n0 03 04\n# block\n2 05\n0\n0 06 07 08\n1" + QByteArray(" A5").repeated(512) + "\n0 09\n"
        << 0 << false;
    QTest::newRow("partial writes") << workedExample + "0" + QByteArray(" 11").repeated(300) + "\n" << 7 << false;
    QTest::newRow("full frames, finished") << fullFrame.repeated(3) << 0 << false;
    QTest::newRow("full frames, canceled") << fullFrame.repeated(3) << 0 << true;
}

void tst_serialLink::frameTiming()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, maxBytesPerWrite);
    QFETCH(bool, cancel);

    dmxShim::slowWrites(maxBytesPerWrite, maxBytesPerWrite > 0 ? 200 : 0);
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    if (cancel)
        run.cancel();
    QVERIFY(run.waitForEnd(30000));
    QCOMPARE(run.endings, QStringList{cancel ? "canceled" : "finished"});
    QVERIFY(run.stop(10000));

    const QVector<shimEvent> events = dmxShim::events();
    const QVector<decodedFrame> frames = decodeFrames(events);
    QVector<QByteArray> expected = expectedWireFrames(contents);
    if (cancel)
        expected.resize(6);
    QCOMPARE(frameBytes(frames), expected);
    if (maxBytesPerWrite > 0)
        QVERIFY(dmxShim::eventCount(shimEvent::Write) > frames.size());

    // Each frame's bytes, start code included, and its hold before the next break.
    const QVector<quint32> holdTimes = expectedHoldTimesMs(contents);
    QVector<qint64> breaks, marks, gaps;
    for (int i = 0; i < frames.size(); ++i) {
        const decodedFrame &frame = frames.at(i);
        QVERIFY2(frame.breakUs >= 500, qPrintable(QStringLiteral("frame %1: break %2 us").arg(i).arg(frame.breakUs)));
        QVERIFY2(frame.markUs >= 100, qPrintable(QStringLiteral("frame %1: mark %2 us").arg(i).arg(frame.markUs)));
        breaks << frame.breakUs;
        marks << frame.markUs;
        if (i + 1 == frames.size())
            break;
        const qint64 minimumGap = characterUs * frame.bytes.size() + 1000 * qint64(holdTimes.at(i));
        QVERIFY2(frame.gapUs >= minimumGap,
                 qPrintable(QStringLiteral("frame %1: gap %2 us, at least %3 us").arg(i).arg(frame.gapUs).arg(minimumGap)));
        gaps << frame.gapUs;
    }
    // The port closes only once the last frame has left.
    qint64 lastWriteEndNs = -1, closeStartNs = -1;
    for (const shimEvent &e : events) {
        lastWriteEndNs = e.type == shimEvent::Write ? e.endNs : lastWriteEndNs;
        closeStartNs = e.type == shimEvent::Close ? e.startNs : closeStartNs;
    }
    QVERIFY(lastWriteEndNs >= 0 && closeStartNs >= 0);
    const qint64 closedAfterNs = closeStartNs - lastWriteEndNs;
    QVERIFY2(closedAfterNs >= characterUs * frames.last().bytes.size() * 1000,
             qPrintable(QStringLiteral("closed %1 us after the last write").arg(closedAfterNs / 1000)));
    qInfo("break %s; mark %s; gap %s (us)", qPrintable(statistics(breaks)), qPrintable(statistics(marks)),
          qPrintable(statistics(gaps)));
}

void tst_serialLink::stuckWriteEndsWithTimeout()
{
    // One byte every 1.5 s: far beyond the bound for a two-byte frame.
    dmxShim::slowWrites(1, 1500000);
    transferRun run(adapter.portName(), updateFiles.write("0 01\n0 02\n"));
    run.start();
    QVERIFY(run.waitForEnd(20000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{portStatus(QSerialPort::TimeoutError)});
    QCOMPARE(bytesOnTheWire(), QByteArray(1, '\0'));
    QCOMPARE(dmxShim::eventCount(shimEvent::BreakOn), 1);
}

void tst_serialLink::failedSendWithoutErrorCodeIsReportedOnce()
{
    serialPortThread worker(adapter.portName(), QFileInfo());
    QSignalSpy reports(&worker, &serialPortThread::portStatusChanged);

    // Nothing reported during the send and no code on the port: the window
    // would otherwise wait for an ending that never comes.
    QCOMPARE(worker.failSend(worker.portErrorReports), qint64(-1));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.at(0).at(0).toLongLong(), qlonglong(QSerialPort::WriteError));

    // Already reported during this send: no second report.
    const int reportsBeforeSend = worker.portErrorReports;
    worker.reportPortError(QSerialPort::ResourceError);
    QCOMPARE(worker.failSend(reportsBeforeSend), qint64(-1));
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.at(1).at(0).toLongLong(), qlonglong(QSerialPort::ResourceError));
}

QTEST_GUILESS_MAIN(tst_serialLink)
#include "tst_serialLink.moc"
