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

QStringList wireFrames()
{
    return toHex(frameBytes(decodeFrames(dmxShim::events())));
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
    void cancelEndsAfterAPacketLine_data();
    void cancelEndsAfterAPacketLine();
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

    QTest::newRow("worked example") << workedExample << 8;
    QTest::newRow("CR LF") << QByteArray(workedExample).replace("\n", "\r\n") << 8;
    // 0A must reach the fixture as it is, not as CR LF.
    QTest::newRow("no line end at the end") << QByteArray("#a\n40 01 02\n7 03 0A") << 3;
    QTest::newRow("lengths 3 3 1 1 3") << QByteArray("0 01 02 03\n0 04 05 06\n0 07\n0 08\n0 09 0A 0B\n") << 5;
    QTest::newRow("byte order mark, blank before hash")
        << QByteArray("\xEF\xBB\xBF#application\n #Vendor\n#\n5 01\n") << 4;
    QTest::newRow("empty and hold-only lines") << QByteArray("\n3\n\n2 01\n") << 4;
    QTest::newRow("odd fields") << QByteArray(" 01  1FF -1 G1 \n4 01\t02 8000\n") << 2;
    QTest::newRow("full packet") << QByteArray("#a\n1" + QByteArray(" A5").repeated(512) + "\n2 01\n") << 3;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("comments only") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n# end") << 5;
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
    QCOMPARE(wireFrames(), toHex(expected));
    const QByteArray allBytes = concatenated(expected);
    QVERIFY(adapter.waitForReceived(allBytes.size(), 5000));
    QCOMPARE(adapter.received().toHex(' '), allBytes.toHex(' '));
}

void tst_transferEngine::cancelEndsAfterAPacketLine_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("cancelAfterWrites"); // 0: right after the start
    QTest::addColumn<int>("cancelAtProgress");  // 0: not on a progress step
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QByteArray>("sentLines");

    // The canceled packet line still goes out with its repetitions, but counts for nothing.
    QTest::newRow("right after the start") << QByteArray("#application\n#Vendor\n0 01 02\n0 03 04\n0 05\n") << 0 << 0
                                           << "canceled" << 2 << QByteArray("0 01 02\n");
    // The second line holds for 46 days.
    QTest::newRow("during a long hold") << QByteArray("#a\n0 01 02\n4000000000 03 04\n0 05 06\n") << 7 << 0
                                        << "canceled" << 2 << QByteArray("0 01 02\n0 03 04\n");
    // The last packet line's step comes after its hold; from then on nobody
    // looks, however long the comments after it take.
    const QByteArray last = "#a\n0 01\n5 02\n" + QByteArray("#trailer\n").repeated(5000);
    QTest::newRow("after the last packet") << last << 0 << 3 << "finished" << 5003 << last;
}

void tst_transferEngine::cancelEndsAfterAPacketLine()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, cancelAfterWrites);
    QFETCH(int, cancelAtProgress);
    QFETCH(QString, ending);
    QFETCH(int, progress);
    QFETCH(QByteArray, sentLines);

    const debugCapture quiet;
    transferRun run(adapter.portName(), updateFiles.write(contents));
    run.onProgress = [&run, cancelAtProgress](int sum) {
        if (sum == cancelAtProgress)
            run.cancel();
    };
    run.start();
    if (cancelAfterWrites > 0) {
        QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, cancelAfterWrites, 10000));
        QTest::qWait(50); // well into the hold
    }
    if (cancelAtProgress == 0)
        run.cancel();
    QVERIFY(run.waitForEnd(10000));
    QVERIFY(run.stop(10000));

    QCOMPARE(run.endings, QStringList{ending});
    QCOMPARE(run.progressSum(), progress);
    QCOMPARE(wireFrames(), toHex(expectedWireFrames(sentLines)));
}

void tst_transferEngine::sameFileSameFramesFromANewWorker()
{
    // First and last packet have the same length: a repetition rule that
    // remembered the previous transfer would send the first packet once.
    const QByteArray contents("0 01 02 03\n0 04\n0 05 06 07\n");
    const QString path = updateFiles.write(contents);
    for (int transfer = 1; transfer <= 2; ++transfer) {
        dmxShim::reset();
        transferRun run(adapter.portName(), path);
        run.start();
        QVERIFY(run.waitForEnd(10000));
        QCOMPARE(run.endings, QStringList{"finished"});
        QCOMPARE(wireFrames(), toHex(expectedWireFrames(contents)));
    }
}

void tst_transferEngine::debugLines()
{
    const debugCapture capture;
    const QString missing = updateFiles.pathOf(QStringLiteral("missing.fwb"));
    for (const QString &path : {updateFiles.write("#a\n40 00 FF 10\n25 01 02 03\n"), missing}) {
        transferRun run(adapter.portName(), path);
        run.start();
        QVERIFY(run.waitForEnd(10000));
    }

    const QString choosing = "Choosing  \"" + adapter.portName() + '"';
    const QString repeating = QStringLiteral("Repeating current packet");
    const QString sent = QStringLiteral("^\"\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\" Sent: 3 bytes$");
    const QStringList expected{choosing, "Skipping comment line", "frameHoldTime 40", repeating, repeating, repeating,
                               repeating, repeating, sent, "Next package:", "frameHoldTime 25", sent, "Next package:",
                               choosing, "Couldn't open file \"Unknown error\""};
    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        if (expected.at(i) == sent)
            QVERIFY2(QRegularExpression(sent).match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
        else
            QCOMPARE(lines.at(i), expected.at(i));
    }
}

QTEST_GUILESS_MAIN(tst_transferEngine)
#include "tst_transferEngine.moc"
