// Quit in the App menu during a long update: the window runs in a process of
// its own, and that process must end within the packet line in flight, its
// hold and one second, cleanly, after whole frames only.

#include <QProcess>
#include <QtTest>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "windowRig.h"

namespace {

const int holdMs = 1500;
const int packetBytes = 512;
// One character on the line at 250 000 bit/s, 8N2.
const qint64 characterNs = 44000;

QByteArray longUpdate()
{
    QByteArray line = QByteArray::number(holdMs);
    for (int i = 0; i < packetBytes; ++i)
        line += ' ' + QByteArray::number(0x10 + i % 0xE0, 16).toUpper();
    line += '\n';
    QByteArray contents = standardHeader();
    for (int i = 0; i < 60; ++i)
        contents += line;
    return contents;
}

} // namespace

class tst_reliabilityQuit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void quitDuringALongUpdate_data();
    void quitDuringALongUpdate();
};

void tst_reliabilityQuit::initTestCase()
{
    quietenExpectedOutput();
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
}

void tst_reliabilityQuit::quitDuringALongUpdate_data()
{
    QTest::addColumn<int>("afterFrames");
    QTest::newRow("while the first packet is repeated") << 2;
    QTest::newRow("in the first hold") << 6;
    QTest::newRow("in a later hold") << 8;
}

void tst_reliabilityQuit::quitDuringALongUpdate()
{
    QFETCH(int, afterFrames);
    updateFiles place;
    const QByteArray contents = longUpdate();
    place.write(QStringLiteral("long.fwb"), contents);
    const QString log = place.path(QStringLiteral("shim.log"));

    QProcess driver;
    driver.setWorkingDirectory(place.directory());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DMXSHIM_LOG"), log);
    driver.setProcessEnvironment(environment);
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(QStringLiteral(RELIABILITY_DRIVER),
                 {QStringLiteral("--quit-after-frames"), QString::number(afterFrames)});
    QVERIFY(driver.waitForStarted());

    qint64 quitNs = -1;
    while (quitNs < 0 && driver.waitForReadyRead(60000)) {
        while (driver.canReadLine()) {
            const QByteArray line = driver.readLine().trimmed();
            QVERIFY2(line.startsWith("quit "), line.constData());
            quitNs = line.mid(5).toLongLong();
        }
    }
    QVERIFY2(quitNs > 0, "the driver never quit");

    // The packet line in flight may still have its five repetitions to send.
    const qint64 boundNs = 6 * (packetBytes + 1) * characterNs + qint64(holdMs) * 1000000 + 1000000000;
    const bool ended = driver.waitForFinished(int(boundNs / 1000000) + 1);
    const qint64 endedNs = monotonicNs();
    if (!ended) {
        driver.kill();
        driver.waitForFinished();
    }
    QVERIFY2(ended && endedNs - quitNs <= boundNs,
             qPrintable(QStringLiteral("still running %1 ms after Quit").arg((endedNs - quitNs) / 1000000)));
    qInfo("ended %lld ms after Quit", (endedNs - quitNs) / 1000000);
    QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
    QCOMPARE(driver.exitCode(), 0);
    QCOMPARE(driver.readAllStandardOutput().trimmed(), QByteArray());

    const QVector<QByteArray> sent = frameBytes(decodeFrames(dmxShim::readLog(log)));
    QVERIFY(sent.size() >= afterFrames);
    QVERIFY(sent.size() < expectedWireFrames(contents).size());
    QCOMPARE(sent, expectedWireFrames(contents).mid(0, sent.size()));
}

QTEST_MAIN(tst_reliabilityQuit)
#include "tst_reliabilityQuit.moc"
