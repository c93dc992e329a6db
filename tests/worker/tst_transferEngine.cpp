// Whole transfers over the virtual adapter: what goes on the wire, progress,
// cancelling, and the debug lines.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "transferHarness.h"
#include "virtualDmxAdapter.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

QStringList toHex(const QVector<QByteArray> &frames)
{
    QStringList hex;
    for (const QByteArray &frame : frames)
        hex << QString::fromLatin1(frame.toHex(' '));
    return hex;
}

QVector<QByteArray> wireFrames()
{
    return frameBytes(decodeFrames(dmxShim::events()));
}

// How often each packet went out in a row, e.g. {6, 1, 6}.
QVector<int> runLengths(const QVector<QByteArray> &frames)
{
    QVector<int> runs;
    for (int i = 0; i < frames.size(); ++i) {
        if (i > 0 && frames.at(i) == frames.at(i - 1))
            ++runs.last();
        else
            runs << 1;
    }
    return runs;
}

} // namespace

class tst_transferEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void filesPutTheirFramesOnTheWire_data();
    void filesPutTheirFramesOnTheWire();
    void changedLengthsAreRepeated();
    void filesWithoutPackets_data();
    void filesWithoutPackets();
    void missingFileIsReportedAlone();
    void cancelRightAfterStartSendsTheFirstPacketLine();
    void cancelDuringALongHoldEndsAtOnce();
    void cancelAfterTheLastPacketIsNotSeen();
    void sameFileSameFramesFromANewWorker();
    void debugLines();

private:
    updateFileWriter updateFiles;
    virtualDmxAdapter adapter;
};

void tst_transferEngine::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    QVERIFY(updateFiles.isValid());
}

void tst_transferEngine::init()
{
    dmxShim::reset();
    adapter.clearReceived();
}

void tst_transferEngine::filesPutTheirFramesOnTheWire_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("lines");

    QByteArray crlf = workedExample;
    crlf.replace("\n", "\r\n");
    QTest::newRow("worked example") << workedExample << 8;
    QTest::newRow("CR LF") << crlf << 8;
    QTest::newRow("no line end at the end") << QByteArray("#a\n40 01 02\n7 03 04") << 3;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF#application\n#Vendor\n5 01\n") << 3;
    QTest::newRow("empty and hold-only lines") << QByteArray("\n3\n\n2 01\n") << 4;
    QTest::newRow("odd fields") << QByteArray(" 01  1FF -1 G1 \n4 01\t02 8000\n") << 2;
    QTest::newRow("full packet") << QByteArray("#a\n1" + QByteArray(" A5").repeated(512) + "\n2 01\n") << 3;
}

void tst_transferEngine::filesPutTheirFramesOnTheWire()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, lines);

    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(run.waitForEnd(20000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"finished"});
    QCOMPARE(run.lengths, QVector<int>{lines});
    QCOMPARE(run.progressSteps, QVector<int>(lines, 1));
    QCOMPARE(run.sentMessages, 0);

    const QVector<QByteArray> expected = expectedWireFrames(contents);
    QCOMPARE(toHex(wireFrames()), toHex(expected));
    const QByteArray allBytes = concatenated(expected);
    QVERIFY(adapter.waitForReceived(allBytes.size(), 5000));
    QCOMPARE(adapter.received().toHex(' '), allBytes.toHex(' '));
}

void tst_transferEngine::changedLengthsAreRepeated()
{
    transferRun run(adapter.portName(), updateFiles.write("0 01 02 03\n0 04 05 06\n0 07\n0 08\n0 09 0A 0B\n"));
    run.start();
    QVERIFY(run.waitForEnd(20000));

    QCOMPARE(run.endings, QStringList{"finished"});
    QCOMPARE(runLengths(wireFrames()), (QVector<int>{6, 1, 6, 1, 6}));
}

void tst_transferEngine::filesWithoutPackets_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("lines");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("comments only") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n# end") << 5;
}

void tst_transferEngine::filesWithoutPackets()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, lines);

    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"finished"});
    QCOMPARE(run.lengths, QVector<int>{lines});
    QCOMPARE(run.progressSum(), lines);
    QCOMPARE(dmxShim::eventCount(dmxShim::event::BreakOn), 0);
    QCOMPARE(dmxShim::eventCount(dmxShim::event::Write), 0);
    QVERIFY(adapter.received().isEmpty());
}

void tst_transferEngine::missingFileIsReportedAlone()
{
    const QString path = updateFiles.pathOf(QStringLiteral("missing.fwb"));
    transferRun run(adapter.portName(), path);
    run.start();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"sendError:Couldn't Open Update file:" + path});
    QVERIFY(run.lengths.isEmpty());
    QVERIFY(run.progressSteps.isEmpty());
    QCOMPARE(dmxShim::eventCount(dmxShim::event::BreakOn), 0);
    QCOMPARE(dmxShim::eventCount(dmxShim::event::Write), 0);
}

void tst_transferEngine::cancelRightAfterStartSendsTheFirstPacketLine()
{
    const QByteArray contents("#application\n#Vendor\n0 01 02\n0 03 04\n0 05\n");
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    run.cancel();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"canceled"});
    // The two comment lines only: the canceled packet line counts for nothing.
    QCOMPARE(run.progressSum(), 2);
    QCOMPARE(toHex(wireFrames()), toHex(expectedWireFrames("0 01 02\n")));
}

void tst_transferEngine::cancelDuringALongHoldEndsAtOnce()
{
    // The second packet line holds for 46 days.
    const QByteArray contents("#a\n0 01 02\n4000000000 03 04\n0 05 06\n");
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.start();
    QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, 7, 10000));
    QTest::qWait(50); // well into the hold
    run.cancel();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"canceled"});
    QCOMPARE(run.progressSum(), 2);
    QCOMPARE(toHex(wireFrames()), toHex(expectedWireFrames("0 01 02\n0 03 04\n")));
}

void tst_transferEngine::cancelAfterTheLastPacketIsNotSeen()
{
    const QByteArray contents("#a\n0 01\n5 02\n#trailer\n#trailer");
    transferRun run(adapter.portName(), updateFiles.write(contents));
    // The last packet line's step comes after its hold: from then on the
    // worker does not look for requests any more.
    run.onProgress = [&run](int progress) {
        if (progress == 3)
            run.cancel();
    };
    run.start();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{"finished"});
    QCOMPARE(run.progressSum(), 5);
    QCOMPARE(toHex(wireFrames()), toHex(expectedWireFrames(contents)));
}

void tst_transferEngine::sameFileSameFramesFromANewWorker()
{
    // First and last packet have the same length, so a repetition rule that
    // remembered the previous transfer would send the first packet once.
    const QString path = updateFiles.write("0 01 02 03\n0 04\n0 05 06 07\n");
    QVector<QByteArray> frames[2];
    for (QVector<QByteArray> &transferFrames : frames) {
        dmxShim::reset();
        transferRun run(adapter.portName(), path);
        run.start();
        QVERIFY(run.waitForEnd(10000));
        QVERIFY(run.stop(10000));
        QCOMPARE(run.endings, QStringList{"finished"});
        transferFrames = wireFrames();
    }
    QCOMPARE(runLengths(frames[0]), (QVector<int>{6, 6, 6}));
    QCOMPARE(toHex(frames[1]), toHex(frames[0]));
}

void tst_transferEngine::debugLines()
{
    const debugCapture capture;
    const QString missing = updateFiles.pathOf(QStringLiteral("missing.fwb"));
    {
        transferRun run(adapter.portName(), updateFiles.write("#a\n40 00 FF 10\n25 01 02 03\n"));
        run.start();
        QVERIFY(run.waitForEnd(10000));
    }
    {
        transferRun run(adapter.portName(), missing);
        run.start();
        QVERIFY(run.waitForEnd(10000));
    }

    const QString sentLine = QStringLiteral("^\"\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\" Sent: 3 bytes$");
    const QStringList expected{
        "Choosing  \"" + adapter.portName() + '"',
        "Skipping comment line",
        "frameHoldTime 40",
        "Repeating current packet",
        "Repeating current packet",
        "Repeating current packet",
        "Repeating current packet",
        "Repeating current packet",
        sentLine,
        "Next package:",
        "frameHoldTime 25",
        sentLine,
        "Next package:",
        "Choosing  \"" + adapter.portName() + '"',
        "Couldn't open file \"Unknown error\"",
    };
    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        if (expected.at(i) == sentLine)
            QVERIFY2(QRegularExpression(sentLine).match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
        else
            QCOMPARE(lines.at(i), expected.at(i));
    }
}

QTEST_GUILESS_MAIN(tst_transferEngine)
#include "tst_transferEngine.moc"
