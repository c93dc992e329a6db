// Frame timing: the sleeps never end early, the line schedule waits for a
// frame's bytes and its hold, and on the wire every frame's bytes, start code
// included, have had their time before the next break or the port's close.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "lineTiming.h"
#include "transferHarness.h"
#include "virtualDmxAdapter.h"

#include <QtTest>

using dmxShim::event;

namespace {

constexpr qint64 characterUs = 44;

const event *lastOf(const QVector<event> &events, event::kind type)
{
    for (int i = events.size() - 1; i >= 0; --i) {
        if (events.at(i).type == type)
            return &events.at(i);
    }
    return nullptr;
}

} // namespace

class tst_lineTiming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sleepsNeverEndEarly_data();
    void sleepsNeverEndEarly();
    void nextBreakWaitsForBytesThenHold();
    void scheduleEndsWithoutTheHold();
    void everyGapCoversTheWholeFrame();
    void portClosesAfterTheLastFrameLeft_data();
    void portClosesAfterTheLastFrameLeft();

private:
    virtualDmxAdapter adapter;
    updateFileWriter updateFiles;
};

void tst_lineTiming::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    QVERIFY(updateFiles.isValid());
}

void tst_lineTiming::init()
{
    dmxShim::reset();
}

void tst_lineTiming::sleepsNeverEndEarly_data()
{
    QTest::addColumn<qint64>("offsetUs");
    // Around the spin threshold, and deadlines already past.
    for (qint64 offset : {-1000, 0, 1, 30, 49, 50, 51, 120, 2000})
        QTest::addRow("%lld us", offset) << offset;
}

void tst_lineTiming::sleepsNeverEndEarly()
{
    QFETCH(qint64, offsetUs);
    for (int i = 0; i < 20; ++i) {
        const qint64 deadline = lineTiming::nowNs() + offsetUs * 1000;
        lineTiming::sleepUntil(deadline);
        QVERIFY(lineTiming::nowNs() >= deadline);

        const qint64 nearDeadline = lineTiming::nowNs() + offsetUs * 1000;
        lineTiming::sleepNear(nearDeadline);
        QVERIFY(lineTiming::nowNs() >= nearDeadline);
    }
}

void tst_lineTiming::nextBreakWaitsForBytesThenHold()
{
    lineSchedule schedule;
    qint64 startNs = lineTiming::nowNs();
    schedule.frameWritten(33, characterUs);
    schedule.waitForNextBreak();
    QVERIFY(lineTiming::nowNs() - startNs >= 33 * characterUs * 1000);

    // The hold counts from the bytes' end, not from when it is asked for.
    startNs = lineTiming::nowNs();
    schedule.frameWritten(100, characterUs);
    QTest::qSleep(3);
    schedule.holdAfterFrame(2);
    schedule.waitForNextBreak();
    QVERIFY(lineTiming::nowNs() - startNs >= (100 * characterUs + 2000) * 1000);
}

void tst_lineTiming::scheduleEndsWithoutTheHold()
{
    // Ending a transfer waits for the last bytes, never for an hour's hold.
    const qint64 startNs = lineTiming::nowNs();
    {
        lineSchedule schedule;
        schedule.frameWritten(50, characterUs);
        schedule.holdAfterFrame(3600 * 1000);
    }
    QVERIFY(lineTiming::nowNs() - startNs >= 50 * characterUs * 1000);
}

void tst_lineTiming::everyGapCoversTheWholeFrame()
{
    // Repeats, held and unheld lines, comments, an empty packet and a full one.
    const QByteArray contents = workedExample + "0 01 02\n0 03 04\n# block\n2 05\n0\n0 06 07 08\n1"
                                + QByteArray(" A5").repeated(512) + "\n0 09\n";
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(run.waitForEnd(30000));
    QCOMPARE(run.endings, QStringList{"finished"});

    const QVector<decodedFrame> frames = decodeFrames(dmxShim::events());
    const QVector<quint32> holdTimes = expectedHoldTimesMs(contents);
    QCOMPARE(frameBytes(frames), expectedWireFrames(contents));
    for (int i = 0; i + 1 < frames.size(); ++i) {
        const qint64 minimumUs = characterUs * frames.at(i).bytes.size() + 1000 * qint64(holdTimes.at(i));
        QVERIFY2(frames.at(i).gapUs >= minimumUs, qPrintable(QStringLiteral("frame %1: gap %2 us, at least %3 us")
                                                                 .arg(i).arg(frames.at(i).gapUs).arg(minimumUs)));
    }
}

void tst_lineTiming::portClosesAfterTheLastFrameLeft_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("finished") << false;
    QTest::newRow("canceled") << true;
}

void tst_lineTiming::portClosesAfterTheLastFrameLeft()
{
    QFETCH(bool, cancel);
    // Long last frames without a hold: nothing else would keep the port open.
    const QByteArray line = "0" + QByteArray(" 5A").repeated(512) + "\n";
    const QByteArray contents = line + line + line;
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    if (cancel)
        run.cancel();
    QVERIFY(run.waitForEnd(30000));
    QCOMPARE(run.endings, QStringList{cancel ? "canceled" : "finished"});
    QVERIFY(run.stop(10000));

    const QVector<dmxShim::event> events = dmxShim::events();
    const dmxShim::event *lastWrite = lastOf(events, dmxShim::event::Write);
    const dmxShim::event *close = lastOf(events, dmxShim::event::Close);
    QVERIFY(lastWrite && close);
    const QVector<decodedFrame> frames = decodeFrames(events);
    QCOMPARE(frames.size(), cancel ? 6 : expectedWireFrames(contents).size());
    const qint64 frameUs = characterUs * frames.last().bytes.size();
    QVERIFY2(close->startNs - lastWrite->endNs >= frameUs * 1000,
             qPrintable(QStringLiteral("closed %1 us after the last write of a %2 us frame")
                            .arg((close->startNs - lastWrite->endNs) / 1000).arg(frameUs)));
}

QTEST_GUILESS_MAIN(tst_lineTiming)
#include "tst_lineTiming.moc"
