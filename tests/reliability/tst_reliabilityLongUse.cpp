// A day at the rack: a hundred updates in a row from one window, most of them
// finishing, some canceled, some losing the adapter or its DTR line. Threads
// and open descriptors must not grow; LeakSanitizer watches the memory.

#include <QDir>
#include <QtTest>

#include <cerrno>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const int runTimeoutMs = 30000;
const int updates = 100;

int entriesOf(const char *directory)
{
    return int(QDir(QLatin1String(directory)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

struct resources {
    int threads = 0;
    int descriptors = 0;
};

resources inUse()
{
    return {entriesOf("/proc/self/task"), entriesOf("/proc/self/fd")};
}

enum class ending { finished, canceled, unplugged, noDtr };

// Ten updates repeat in this pattern; the figures are taken at the same point of it.
ending endingOf(int update)
{
    switch (update % 10) {
    case 7: return ending::canceled;
    case 8: return ending::unplugged;
    case 9: return ending::noDtr;
    default: return ending::finished;
    }
}

} // namespace

class tst_reliabilityLongUse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hundredUpdatesInARow();

private:
    bool runOne(windowRig &rig, ending end, const QVector<QByteArray> &expected);

    virtualDmxAdapter adapter;
    updateFiles files;
};

void tst_reliabilityLongUse::initTestCase()
{
    quietenExpectedOutput();
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
}

bool tst_reliabilityLongUse::runOne(windowRig &rig, ending end, const QVector<QByteArray> &expected)
{
    dmxShim::reset();
    const int messagesBefore = rig.messages().size();
    if (end == ending::unplugged)
        dmxShim::unplugAfterFrames(3);
    if (end == ending::noDtr)
        dmxShim::failDtr(EIO);
    if (!rig.clickStart())
        return false;
    if (end == ending::canceled)
        rig.clickCancel();

    if (end == ending::unplugged || end == ending::noDtr) {
        return waitFor([&] { return rig.messages().size() > messagesBefore && rig.isIdleAfterError(); }, runTimeoutMs)
            && rig.messages().size() == messagesBefore + 1;
    }

    const QString buttonText = end == ending::finished ? QStringLiteral("Finished!") : QStringLiteral("Canceled!");
    if (!waitFor([&] { return rig.hasEndedAs(buttonText); }, runTimeoutMs))
        return false;
    if (end == ending::finished && framesOnTheWire() != expected)
        return false;
    rig.clickUpdateButton();
    return rig.messages().size() == messagesBefore;
}

void tst_reliabilityLongUse::hundredUpdatesInARow()
{
    const QByteArray contents = standardHeader() + "0 01 02 03\n1 04 05 06\n# middle\n0 07\n1 08 09\n";
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("day.fwb"), contents)));

    resources afterTen;
    for (int update = 1; update <= updates; ++update) {
        QVERIFY2(runOne(rig, endingOf(update), expected), qPrintable(QStringLiteral("update %1").arg(update)));
        if (update == 10)
            afterTen = inUse();
    }
    const resources afterHundred = inUse();
    qInfo("threads %d -> %d, descriptors %d -> %d between update 10 and update %d", afterTen.threads,
          afterHundred.threads, afterTen.descriptors, afterHundred.descriptors, updates);
    QVERIFY(afterHundred.threads <= afterTen.threads);
    QVERIFY(afterHundred.descriptors <= afterTen.descriptors);

    // One box for each failed update, in its own words.
    QCOMPARE(rig.messages().count(QStringLiteral("Serialport Error: ResourceError: Device Unavailable")), updates / 10);
    QCOMPARE(rig.messages().count(QStringLiteral("Unable to set DataTerminalReady")), updates / 10);
    QCOMPARE(rig.messages().size(), 2 * updates / 10);
}

QTEST_MAIN(tst_reliabilityLongUse)
#include "tst_reliabilityLongUse.moc"
