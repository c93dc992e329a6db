// Update files that cannot be sent as they are: a gibibyte without a line
// end, a file that changes while it is sent, more lines than an int holds.
// Nothing may crash or swallow memory; what cannot be sent is refused in words.
// (Junk, NUL bytes and UTF-16 go out as converted: tst_updateRun.)

#include <QtTest>

#include <climits>

#include "dmxShim.h"
#include "frameDecoder.h"
#include "updateFileLine.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const int runTimeoutMs = 60000;
const qint64 gibibyte = qint64(1) << 30;

qint64 statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets the peak resident size start again from the present one.
bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// Line feeds without storage behind them, as many as asked for.
class lineFeeds : public QIODevice
{
public:
    explicit lineFeeds(qint64 count) : count(count) { open(QIODevice::ReadOnly); }
    qint64 size() const override { return count; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 length = qMin(maxSize, count - produced);
        memset(data, '\n', size_t(length));
        produced += length;
        return length;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 count;
    qint64 produced = 0;
};

} // namespace

class tst_reliabilityFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void gibibyteWithoutLineEndIsRefused();
    void fileChangedWhileSentIsNotFinished_data();
    void fileChangedWhileSentIsNotFinished();
    void lineLengthBound_data();
    void lineLengthBound();
    void moreLinesThanAnIntHolds();

private:
    virtualDmxAdapter adapter;
    updateFiles files;
};

void tst_reliabilityFiles::initTestCase()
{
    quietenExpectedOutput();
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
}

void tst_reliabilityFiles::init()
{
    dmxShim::reset();
}

// Read whole, this file would take a gibibyte; the header and the count stop early.
void tst_reliabilityFiles::gibibyteWithoutLineEndIsRefused()
{
    const QString path = files.path(QStringLiteral("gibibyte.fwb"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(standardHeader() + "1 01 02") > 0);
        QVERIFY(file.resize(gibibyte));
    }

    windowRig rig(adapter.portName());
    QVERIFY(resetPeakMemory());
    const qint64 residentBeforeKb = statusKilobytes("VmRSS:");
    QVERIFY(rig.chooseFile(path));
    QVERIFY(rig.clickStart());
    QVERIFY(waitFor([&] { return !rig.messages().isEmpty() && rig.isIdleAfterError(); }, runTimeoutMs));
    const qint64 peakKb = statusKilobytes("VmHWM:");

    QCOMPARE(rig.messages(), QStringList{QStringLiteral("Update file line 5 is too long:") + path});
    QCOMPARE(breaksOnTheWire(), 0);
    qInfo("peak resident size %lld MB (%lld MB before the file was chosen)", peakKb / 1024, residentBeforeKb / 1024);
    QVERIFY(peakKb > 0);
    QVERIFY(peakKb < 200 * 1024);
    QVERIFY(peakKb - residentBeforeKb < 32 * 1024);
}

void tst_reliabilityFiles::fileChangedWhileSentIsNotFinished_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("reported");
    QTest::newRow("untouched") << "none" << false;
    QTest::newRow("grows by whole lines") << "append" << true;
    QTest::newRow("grows by a line without end") << "endless" << true;
    QTest::newRow("truncated") << "truncate" << true;
    QTest::newRow("rewritten in place, same size") << "rewrite" << true;
}

void tst_reliabilityFiles::fileChangedWhileSentIsNotFinished()
{
    QFETCH(QString, change);
    QFETCH(bool, reported);
    QByteArray contents = standardHeader();
    for (int line = 0; line < 60; ++line)
        contents += "3 01 02 0" + QByteArray::number(line % 8) + '\n';
    const QString path = files.write(QStringLiteral("changing.fwb"), contents);

    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(path));
    QVERIFY(rig.clickStart());
    QVERIFY(waitFor([] { return breaksOnTheWire() >= 8; }, runTimeoutMs));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (change == QLatin1String("append")) {
        QVERIFY(file.seek(file.size()) && file.write("3 0A 0B 0C\n3 0D 0E 0F\n") > 0);
    } else if (change == QLatin1String("endless")) {
        QVERIFY(file.seek(file.size()) && file.write(QByteArray(1 << 20, 'F')) > 0);
    } else if (change == QLatin1String("truncate")) {
        QVERIFY(file.resize(standardHeader().size() + 20));
    } else if (change == QLatin1String("rewrite")) {
        QVERIFY(file.seek(contents.size() - 3) && file.write("FF") == 2);
    }
    file.close();

    QVERIFY(waitFor([&] { return !rig.isSending(); }, runTimeoutMs));
    const QVector<QByteArray> sent = framesOnTheWire();
    QCOMPARE(sent, expectedWireFrames(contents).mid(0, sent.size()));
    if (!reported) {
        QCOMPARE(rig.messages(), QStringList());
        QVERIFY(rig.hasEndedAs(QStringLiteral("Finished!")));
        return;
    }
    QCOMPARE(rig.messages(), QStringList{QStringLiteral("Update file changed while it was being sent:") + path});
    QVERIFY(rig.isIdleAfterError());
}

void tst_reliabilityFiles::lineLengthBound_data()
{
    const int bound = int(updateFileLine::maxLineLength);
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<qint64>("lines");
    QTest::addColumn<qint64>("firstOverlongLine");
    // Lengths count the line end; chunks of the count end at the bound too.
    QTest::newRow("longest line") << QByteArray(bound - 1, 'F') + '\n' << qint64(1) << qint64(0);
    QTest::newRow("one byte more") << QByteArray(bound, 'F') + '\n' << qint64(0) << qint64(1);
    QTest::newRow("longest last line without end") << "1\n2\n" + QByteArray(bound, 'F') << qint64(3) << qint64(0);
    QTest::newRow("last line one byte more") << "1\n2\n" + QByteArray(bound + 1, 'F') << qint64(2) << qint64(3);
    QTest::newRow("across a chunk")
        << QByteArray(bound - 10, '\n') + QByteArray(bound, 'F') + "\n\n" << qint64(bound - 10) << qint64(bound - 9);
    QTest::newRow("long lines that fit, side by side")
        << QByteArray(bound - 1, 'F') + '\n' + QByteArray(bound - 1, 'F') + "\n1" << qint64(3) << qint64(0);
}

void tst_reliabilityFiles::lineLengthBound()
{
    QFETCH(QByteArray, contents);
    QFETCH(qint64, lines);
    QFETCH(qint64, firstOverlongLine);
    QBuffer buffer(&contents);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const updateFileLine::lineMeasure measure = updateFileLine::measureLines(buffer, updateFileLine::maxLineLength);
    QCOMPARE(measure.firstOverlongLine, firstOverlongLine);
    QCOMPARE(measure.lines, lines);
}

// Two gibibytes of line feeds, counted without wrapping around.
void tst_reliabilityFiles::moreLinesThanAnIntHolds()
{
    const qint64 count = qint64(INT_MAX) + 2;
    lineFeeds device(count);
    const updateFileLine::lineMeasure measure = updateFileLine::measureLines(device, updateFileLine::maxLineLength);
    QCOMPARE(measure.lines, count);
    QCOMPARE(measure.firstOverlongLine, qint64(0));
}

QTEST_MAIN(tst_reliabilityFiles)
#include "tst_reliabilityFiles.moc"
