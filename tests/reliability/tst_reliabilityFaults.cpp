// Faults injected into updates started from the window: the adapter pulled
// at chosen frames, and Cancel pressed at chosen moments. The choices come
// from a fixed seed (REL_SEED overrides it), printed with every failure.

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const quint32 fixedSeed = 0x5eed0007;
const int runTimeoutMs = 30000;
// How long a pulled adapter may take to show in the window, from the failed call.
const qint64 faultToIdleBoundNs = 2000000000;

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

} // namespace

class tst_reliabilityFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void unpluggedAtTenFrames();
    void canceledAtTwentyMoments();

private:
    QString context(const QString &what) const;

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
    const QString path = files.write(QStringLiteral("unplug.fwb"), contents);

    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(path));
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
        QCOMPARE(rig.messages().last(), QStringLiteral("Serialport Error: ResourceError: Device Unavailable"));
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
    const QString path = files.write(QStringLiteral("cancel.fwb"), contents);

    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(path));
    // Cancel once the worker has begun this many frames; 0 is right after Start.
    QVector<int> moments = distinctFrames(random, 19, expected.size());
    moments.prepend(0);
    for (int afterBreaks : moments) {
        const QString where = context(QStringLiteral("cancel after %1 of %2 frames").arg(afterBreaks).arg(expected.size()));
        dmxShim::reset();
        QVERIFY2(rig.clickStart(), qPrintable(where));
        QVERIFY2(waitFor([=] { return breaksOnTheWire() >= afterBreaks; }, runTimeoutMs), qPrintable(where));
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

QTEST_MAIN(tst_reliabilityFaults)
#include "tst_reliabilityFaults.moc"
