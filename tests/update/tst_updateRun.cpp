// Whole updates from the window: a real worker sends over the virtual DMX
// adapter, and the test reads back what reached the wire.

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "frameDecoder.h"
#include "modalAnswerer.h"
#include "serialPortDiscovery.h"
#include "virtualDmxAdapter.h"

namespace {

const int runTimeoutMs = 20000;

virtualDmxAdapter *adapter = nullptr;

QList<serialPortDescription> virtualAdapterPort()
{
    return {{adapter->portName(), QStringLiteral("virtual"), QStringLiteral("Example Corp"), QStringLiteral("A1")}};
}

const QByteArray header = "#application\n#Vendor\n#Fixture\n#v1.04\n";

QByteArray repeatedLines(const QByteArray &line, int count)
{
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += line;
    return lines;
}

int lineCount(const QByteArray &contents)
{
    return contents.count('\n') + (contents.endsWith('\n') || contents.isEmpty() ? 0 : 1);
}

QVector<QByteArray> framesOnTheWire()
{
    QVector<QByteArray> frames;
    for (const decodedFrame &frame : decodeFrames(dmxShim::events()))
        frames << frame.bytes;
    return frames;
}

QByteArray joined(const QVector<QByteArray> &frames)
{
    QByteArray bytes;
    for (const QByteArray &frame : frames)
        bytes += frame;
    return bytes;
}

} // namespace

class tst_updateRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void wholeUpdateReachesTheWire();
    void secondUpdateNeedsNoNewChoice();
    void cancelStopsAtAPacketBoundary();
    void unpluggedAdapterIsReportedAndResets();
    void portSetupFailureIsReported_data();
    void portSetupFailureIsReported();
    void errorWhileSendingStopsTheRunForGood();
    void closingDuringALongHoldReturns();

private:
    QString writeUpdateFile(const QByteArray &contents);
    void chooseFile(const QString &path);
    void clickStart();
    void verifyIdleAfterError(const QString &chosenPath);

    template<typename T>
    T *widget(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    QTemporaryDir directory;
    fixtureSoftwareUpdater *window = nullptr;
    modalAnswerer *answerer = nullptr;
};

void tst_updateRun::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(directory.isValid());
    QVERIFY(QDir::setCurrent(directory.path()));
    adapter = new virtualDmxAdapter;
    QVERIFY(adapter->isValid());
    setSerialPortLister(virtualAdapterPort);
}

void tst_updateRun::cleanupTestCase()
{
    setSerialPortLister(nullptr);
    delete adapter;
}

void tst_updateRun::init()
{
    dmxShim::reset();
    adapter->clearReceived();
    window = new fixtureSoftwareUpdater;
    window->show();
    widget<QAction>("actionRefreshPortsList")->trigger();
    answerer = new modalAnswerer;
}

void tst_updateRun::cleanup()
{
    delete window;
    window = nullptr;
    QCOMPARE(answerer->unexpectedFileDialogs, 0);
    delete answerer;
    dmxShim::reset();
}

QString tst_updateRun::writeUpdateFile(const QByteArray &contents)
{
    QFile file(directory.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".fwb")));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void tst_updateRun::chooseFile(const QString &path)
{
    answerer->answerNextFileDialogWith(path);
    QTest::mouseClick(widget<QPushButton>("selectFileButton"), Qt::LeftButton);
}

void tst_updateRun::clickStart()
{
    auto *button = widget<QPushButton>("updateButton");
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("Start"));
    QTest::mouseClick(button, Qt::LeftButton);
}

void tst_updateRun::verifyIdleAfterError(const QString &chosenPath)
{
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("selectFilePage"));
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("startSendingPage"));
    QVERIFY(widget<QPushButton>("updateButton")->isEnabled());
    QCOMPARE(widget<QPushButton>("updateButton")->text(), QStringLiteral("Start"));
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), QString());
    QCOMPARE(widget<QLabel>("fixtureDisplayLabel")->text(), QString());
    QCOMPARE(widget<QLabel>("fileLabel")->text(), chosenPath);
}

void tst_updateRun::wholeUpdateReachesTheWire()
{
    // Packet lengths change and repeat; an empty packet, a comment between
    // packets, a full universe and a last line without a line feed.
    const QByteArray contents = header + "4 00 FF 10\n# second block\n2 7F 80 81\n0\n1 01\n1 02\n"
                                + "0 " + repeatedLines("A5 ", 511) + "5A\n" + "3 -1 1FF G1  07";
    chooseFile(writeUpdateFile(contents));
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("fixtureDisplayPage"));

    clickStart();
    QVERIFY(!widget<QPushButton>("updateButton")->isEnabled());
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("progressPage"));
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("cancelSendingPage"));

    QTRY_COMPARE_WITH_TIMEOUT(widget<QPushButton>("updateButton")->text(), QStringLiteral("Finished!"), runTimeoutMs);
    QVERIFY(widget<QPushButton>("updateButton")->isEnabled());
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentIndex(), 0);
    auto *bar = widget<QProgressBar>("progressBar");
    QCOMPARE(bar->maximum(), lineCount(contents));
    QCOMPARE(bar->value(), lineCount(contents));

    const QVector<QByteArray> expected = expectedWireFrames(contents);
    QCOMPARE(framesOnTheWire(), expected);
    QVERIFY(adapter->waitForReceived(joined(expected).size(), runTimeoutMs));
    QCOMPARE(adapter->received(), joined(expected));
    for (const decodedFrame &frame : decodeFrames(dmxShim::events()))
        QVERIFY2(frame.breakUs >= 500, qPrintable(QStringLiteral("break of %1 us").arg(frame.breakUs)));
    QVERIFY(answerer->messageTexts.isEmpty());
}

void tst_updateRun::secondUpdateNeedsNoNewChoice()
{
    const QByteArray contents = header + "1 01 02 03\n1 04 05 06\n1 07\n";
    chooseFile(writeUpdateFile(contents));
    clickStart();
    QTRY_COMPARE_WITH_TIMEOUT(widget<QPushButton>("updateButton")->text(), QStringLiteral("Finished!"), runTimeoutMs);

    QTest::mouseClick(widget<QPushButton>("updateButton"), Qt::LeftButton);
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("selectFilePage"));
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));

    dmxShim::reset();
    clickStart();
    QTRY_COMPARE_WITH_TIMEOUT(widget<QPushButton>("updateButton")->text(), QStringLiteral("Finished!"), runTimeoutMs);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), lineCount(contents));
    QCOMPARE(framesOnTheWire(), expectedWireFrames(contents));
    QVERIFY(answerer->messageTexts.isEmpty());
}

void tst_updateRun::cancelStopsAtAPacketBoundary()
{
    const QByteArray contents = header + repeatedLines("5 01 02 03\n", 2000);
    chooseFile(writeUpdateFile(contents));
    clickStart();
    QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, 10, runTimeoutMs));

    // Every click asks again; the run still ends once.
    QTest::mouseClick(widget<QPushButton>("cancelButton"), Qt::LeftButton);
    QTest::mouseClick(widget<QPushButton>("cancelButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(widget<QPushButton>("updateButton")->text(), QStringLiteral("Canceled!"), runTimeoutMs);
    QVERIFY(widget<QPushButton>("updateButton")->isEnabled());
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentIndex(), 0);
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("progressPage"));

    // Whole frames only, in the file's order, and far from the end.
    const QVector<QByteArray> sent = framesOnTheWire();
    const QVector<QByteArray> expected = expectedWireFrames(contents);
    QVERIFY(sent.size() >= 10);
    QVERIFY(sent.size() < expected.size());
    QCOMPARE(sent, expected.mid(0, sent.size()));
    QVERIFY(widget<QProgressBar>("progressBar")->value() < lineCount(contents));

    QTest::mouseClick(widget<QPushButton>("updateButton"), Qt::LeftButton);
    QCOMPARE(widget<QPushButton>("updateButton")->text(), QStringLiteral("Start"));
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("fixtureDisplayPage"));
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QVERIFY(answerer->messageTexts.isEmpty());
}

void tst_updateRun::unpluggedAdapterIsReportedAndResets()
{
    const QByteArray contents = header + repeatedLines("2 01 02 03\n", 200);
    const QString path = writeUpdateFile(contents);
    chooseFile(path);
    dmxShim::unplugAfterFrames(12);
    clickStart();

    QTRY_COMPARE_WITH_TIMEOUT(answerer->messageTexts.size(), 1, runTimeoutMs);
    QCOMPARE(answerer->messageTexts.first(), QStringLiteral("Serialport Error: ResourceError: Device Unavailable"));
    verifyIdleAfterError(path);
    QCOMPARE(framesOnTheWire().size(), 12);

    // Nothing the unplugged run still had to say may reach the window.
    QTest::qWait(200);
    QCOMPARE(answerer->messageTexts.size(), 1);
    verifyIdleAfterError(path);
}

void tst_updateRun::portSetupFailureIsReported_data()
{
    QTest::addColumn<int>("openErrno");
    QTest::addColumn<int>("dtrErrno");
    QTest::addColumn<QString>("message");
    // Codes travel as port errors, setup failures as text.
    QTest::newRow("permission") << int(EACCES) << 0 << "Serialport Error: PermissionError";
    QTest::newRow("gone") << int(ENOENT) << 0 << "Serialport Error: DeviceNotFoundError";
    QTest::newRow("no DTR") << 0 << int(EIO) << "Unable to set DataTerminalReady";
}

void tst_updateRun::portSetupFailureIsReported()
{
    QFETCH(int, openErrno);
    QFETCH(int, dtrErrno);
    QFETCH(QString, message);

    const QString path = writeUpdateFile(header + "1 01\n");
    chooseFile(path);
    dmxShim::failOpen(openErrno);
    dmxShim::failDtr(dtrErrno);
    clickStart();

    QTRY_COMPARE_WITH_TIMEOUT(answerer->messageTexts.size(), 1, runTimeoutMs);
    QCOMPARE(answerer->messageTexts.first(), message);
    verifyIdleAfterError(path);
    QVERIFY(framesOnTheWire().isEmpty());
}

// A report that does not stop the sending used to leave the window frozen
// until the end of the file, and then "Finished!" followed the error box.
void tst_updateRun::errorWhileSendingStopsTheRunForGood()
{
    const QByteArray contents = header + repeatedLines("5 01 02 03\n", 400);
    const QString path = writeUpdateFile(contents);
    chooseFile(path);
    clickStart();
    QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, 10, runTimeoutMs));

    // Two reports queued back to back, as a port that errs twice sends them.
    QVERIFY(QMetaObject::invokeMethod(window, "serialPortError", Qt::QueuedConnection, Q_ARG(int, 5)));
    QVERIFY(QMetaObject::invokeMethod(window, "serialPortError", Qt::QueuedConnection, Q_ARG(int, 5)));
    QTRY_COMPARE_WITH_TIMEOUT(answerer->messageTexts.size(), 1, runTimeoutMs);
    QCOMPARE(answerer->messageTexts.first(), QStringLiteral("Serialport Error: FramingError"));
    verifyIdleAfterError(path);

    const int framesAtReset = framesOnTheWire().size();
    QVERIFY(framesAtReset < expectedWireFrames(contents).size());
    QTest::qWait(300);
    QCOMPARE(answerer->messageTexts.size(), 1);
    QCOMPARE(framesOnTheWire().size(), framesAtReset);
    verifyIdleAfterError(path);
}

// Closing the window is what Quit leads to; with an hour-long hold the
// destructor would otherwise outlive the test's timeout.
void tst_updateRun::closingDuringALongHoldReturns()
{
    const QByteArray contents = header + repeatedLines("3600000 01 02\n", 3);
    chooseFile(writeUpdateFile(contents));
    clickStart();
    // The first packet goes out six times, then its hold begins.
    QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, 6, runTimeoutMs));

    delete window;
    window = nullptr;

    const QVector<QByteArray> sent = framesOnTheWire();
    QCOMPARE(sent, expectedWireFrames(contents).mid(0, 6));
    QVERIFY(dmxShim::eventCount(dmxShim::event::Close) >= 1);
    QVERIFY(answerer->messageTexts.isEmpty());
}

QTEST_MAIN(tst_updateRun)
#include "tst_updateRun.moc"
