// An update from the window. Without a transfer: file choice and the header
// it shows, and the error reports. Whole updates: a real
// worker sends over the virtual DMX adapter and the test reads the wire back.

#include <QLocalServer>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QtTest>

#include <cctype>
#include <numeric>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "frameDecoder.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

const int runTimeoutMs = 30000;

int lineCount(const QByteArray &contents)
{
    return contents.count('\n') + (contents.endsWith('\n') || contents.isEmpty() ? 0 : 1);
}

// Random bytes in lines that never start with a number, a sign or white
// space, so that no line asks for a pause. No CR: text mode would drop it.
QByteArray binaryJunk(quint32 seed, int size)
{
    QRandomGenerator random(seed);
    QByteArray junk(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        char byte = char(random.bounded(256));
        if (byte == '\r')
            byte = '\n';
        const bool startsLine = i == 0 || junk.at(i - 1) == '\n';
        if (startsLine && (byte == '+' || byte == '-' || std::isdigit(uchar(byte)) || std::isspace(uchar(byte))))
            byte = char(uchar(byte) | 0x80);
        junk[i] = byte;
    }
    return junk;
}

QByteArray asUtf16WithByteOrderMark(const QByteArray &latin1)
{
    QByteArray utf16("\xFF\xFE");
    for (char c : latin1)
        utf16 += QByteArray(1, c) + '\0';
    return utf16;
}

// What the window looks like while a worker sends, without one.
void showSendingState(windowRig &rig)
{
    rig.window().findChild<QWidget *>(QStringLiteral("updateButton"))->setEnabled(false);
    rig.window().findChild<QStackedWidget *>(QStringLiteral("infoStackedWidget"))->setCurrentIndex(2);
    rig.window().findChild<QStackedWidget *>(QStringLiteral("updateStackedWidget"))->setCurrentIndex(1);
    rig.window().updateFileLength(10);
    rig.window().updateProgress(3);
}

} // namespace

class tst_updateRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void headerIsShownAsRead_data();
    void headerIsShownAsRead();
    void fileDialogStartsAtTheChosenFile();
    void unopenableFileIsReportedAndResets();
    void portErrorIsReportedInWords_data();
    void portErrorIsReportedInWords();

    void updateGoesOutAsConverted_data();
    void updateGoesOutAsConverted();
    void errorWhileSendingStopsTheRunForGood();

private:
    QString chooseShownFile(windowRig &rig);

    QTemporaryDir emptyWorkingDirectory;
    virtualDmxAdapter adapter;
    updateFiles files;
};

void tst_updateRun::initTestCase()
{
    QVERIFY2(dmxShim::isLoaded(), "run with the dmxshim preloaded");
    QVERIFY(adapter.isValid());
    // Nothing is preselected at start.
    QVERIFY(QDir::setCurrent(emptyWorkingDirectory.path()));
}

void tst_updateRun::init()
{
    dmxShim::reset();
    adapter.clearReceived();
}

QString tst_updateRun::chooseShownFile(windowRig &rig)
{
    const QString path = files.write(QStringLiteral("shown.fwb"), standardHeader());
    if (!rig.chooseFile(path))
        qFatal("the window refused %s", qPrintable(path));
    return path;
}

void tst_updateRun::headerIsShownAsRead_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("application");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("fileShown");

    const QByteArray packets = "40 00 FF 10\n25 7F\n";
    QTest::newRow("complete") << standardHeader() + packets << "Application v1.04" << "Vendor Fixture" << true;
    QTest::newRow("CR LF") << QByteArray("#application\r\n#Vendor\r\n#Fixture\r\n#v1.04\r\n40 00\r\n")
                           << "Application v1.04" << "Vendor Fixture" << true;
    QTest::newRow("UTF-8, first letter upper-cased")
        << QByteArray("#\xc3\xa9mission lumi\xc3\xa8re\n#Vendor\n#Fixture\n#v2\n")
        << QString::fromUtf8("\xc3\x89mission lumi\xc3\xa8re v2") << "Vendor Fixture" << true;
    QTest::newRow("no header") << packets << " " << " " << false;
    // Each attempt that misses "#" eats one byte, so the next attempts read
    // from the middle of the first line and then meet the later lines' "#".
    QTest::newRow("first line without #") << QByteArray("x\n#Vendor\n#Fixture\n#v1.04\n")
                                          << " Fixture" << " Vendor" << false;
    QTest::newRow("empty first field") << QByteArray("#\n#Vendor\n#Fixture\n#v1.04\n" + packets)
                                       << " v1.04" << "Vendor Fixture" << false;
    QTest::newRow("# alone in the middle") << QByteArray("#application\n#\n#Fixture\n#v1.04\n")
                                           << "Application v1.04" << " Fixture" << false;
    QTest::newRow("file ends in the header") << QByteArray("#application\n#Vendor\n")
                                             << "Application " << "Vendor " << false;
    // The field ends where the line feed would be: the last byte read is lost.
    QTest::newRow("last header line without line feed") << QByteArray("#app\n#V\n#F\n#v1.04")
                                                        << "App v1.0" << "V F" << true;
    // 510 bytes make the field; the attempts after it land inside the line.
    QTest::newRow("header line longer than 510 bytes")
        << QByteArray("#a" + QByteArray(599, 'b') + "\n#Vendor\n#Fixture\n#v1.04\n")
        << QString(QLatin1Char('A') + QString(509, QLatin1Char('b')) + QLatin1Char(' ')) << " " << false;
}

void tst_updateRun::headerIsShownAsRead()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, application);
    QFETCH(QString, fixture);
    QFETCH(bool, fileShown);
    windowRig rig;
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("update.fwb"), contents)));
    QCOMPARE(rig.labelText("applicationDisplayLabel"), application);
    QCOMPARE(rig.labelText("fixtureDisplayLabel"), fixture);
    QCOMPARE(rig.currentPage("infoStackedWidget"), QLatin1String(fileShown ? "fixtureDisplayPage" : "selectFilePage"));
    // No interface is listed, so the choice must not enable Start.
    QVERIFY(!rig.buttonEnabled());
    QVERIFY(rig.messages().isEmpty());
}

// The dialog opens where the current file is; closing it changes nothing.
void tst_updateRun::fileDialogStartsAtTheChosenFile()
{
    windowRig rig;
    QVERIFY(QDir(files.directory()).mkdir(QStringLiteral("firmware")));
    const QString first = files.write(QStringLiteral("firmware/first.fwb"), standardHeader());
    QVERIFY(rig.chooseFile(first));
    QCOMPARE(rig.currentPage("infoStackedWidget"), QStringLiteral("fixtureDisplayPage"));

    // From the file information, Select File goes back to the file page first.
    rig.answerNextFileDialogWith(QString());
    rig.click("selectFileButton_2");
    QCOMPARE(rig.currentPage("infoStackedWidget"), QStringLiteral("selectFilePage"));
    QCOMPARE(rig.labelText("fileLabel"), first);
    QCOMPARE(rig.labelText("applicationDisplayLabel"), QStringLiteral("Application v1.04"));
    QCOMPARE(rig.labelText("fixtureDisplayLabel"), QStringLiteral("Vendor Fixture"));

    QVERIFY(rig.chooseFile(files.write(QStringLiteral("second.fwb"), "#e\n#f\n#g\n#h\n")));
    QCOMPARE(rig.labelText("applicationDisplayLabel"), QStringLiteral("E h"));
    const QVector<fileDialogSeen> dialogs = rig.fileDialogs();
    QCOMPARE(dialogs.size(), 3);
    for (const fileDialogSeen &dialog : dialogs) {
        QCOMPARE(dialog.title, QStringLiteral("Select Firmware"));
        QCOMPARE(dialog.filter, QStringLiteral("Firmware Files (*.fwb)"));
    }
    QCOMPARE(dialogs.at(2).directory, QDir(files.path(QStringLiteral("firmware"))).canonicalPath());
}

// A socket exists but cannot be opened as a file, whoever runs the test
// (a mode 000 file would still open for root).
void tst_updateRun::unopenableFileIsReportedAndResets()
{
    windowRig rig;
    chooseShownFile(rig);
    QLocalServer socket;
    const QString path = files.path(QStringLiteral("socket.fwb"));
    QVERIFY(socket.listen(path));
    QFile probe(path);
    QVERIFY(!probe.open(QIODevice::ReadOnly | QIODevice::Text));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Couldn't open file \"%1\"").arg(probe.errorString())));
    QVERIFY(rig.chooseFile(path));
    QCOMPARE(rig.messages(), QStringList(QStringLiteral("Couldn't open file ") + probe.errorString()));
    QVERIFY(rig.isIdleAfterError());
}

void tst_updateRun::portErrorIsReportedInWords_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const char *const messages[] = {
        "Serialport Error: DeviceNotFoundError",
        "Serialport Error: PermissionError",
        "Serialport Error: OpenError Device already open",
        "Serialport Error: ParityError",
        "Serialport Error: FramingError",
        "Serialport Error: BreakConditionError",
        "Serialport Error: WriteError",
        "Serialport Error: ReadError",
        "Serialport Error: ResourceError: Device Unavailable",
        "Serialport Error: UnsupportedOperationError",
        "Serialport Error: UnknownError",
        "Serialport Error: TimeoutError",
        "Serialport Error: NotOpenError",
    };
    for (int code = 1; code <= 13; ++code)
        QTest::addRow("%d", code) << code << QString::fromLatin1(messages[code - 1]);
    // Codes without words reset without a box; 0 leaves the run alone.
    QTest::newRow("14") << 14 << QString();
    QTest::newRow("-1") << -1 << QString();
    QTest::newRow("0") << 0 << QString();
}

void tst_updateRun::portErrorIsReportedInWords()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    windowRig rig;
    const QString path = chooseShownFile(rig);
    showSendingState(rig);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("error recieved: %1").arg(code)));
    rig.window().serialPortError(code);

    if (code == 0) {
        // Give a box that should not exist the time to be answered.
        QTest::qWait(50);
        QVERIFY(rig.isSending() && !rig.buttonEnabled());
        QCOMPARE(rig.currentPage("infoStackedWidget"), QStringLiteral("progressPage"));
        QCOMPARE(rig.progressValue(), 3);
        QCOMPARE(rig.labelText("applicationDisplayLabel"), QStringLiteral("Application v1.04"));
    } else {
        QVERIFY(rig.isIdleAfterError());
    }
    QCOMPARE(rig.messages(), message.isEmpty() ? QStringList() : QStringList(message));
    QCOMPARE(rig.labelText("fileLabel"), path);
}

void tst_updateRun::updateGoesOutAsConverted_data()
{
    QTest::addColumn<QByteArray>("contents");
    // Packet lengths change and repeat; an empty packet, a comment between
    // packets, a full universe and a last line without a line feed.
    QTest::newRow("typical") << standardHeader() + "4 00 FF 10\n# second block\n2 7F 80 81\n0\n1 01\n1 02\n0 "
                                    + QByteArray("A5 ").repeated(511) + "5A\n3 -1 1FF G1  07";
    QTest::newRow("binary junk") << binaryJunk(campaignSeed(0xf11e5eed), 48 * 1024);
    static const char nulBytes[] = "#app\0lication\n#V\0\n#\0\n#v1\n1 01\0 02\n\0\0\0\n\0 03 04\n1 \0\0\n\0\n1 05\n";
    QTest::newRow("NUL bytes") << QByteArray(nulBytes, sizeof nulBytes - 1);
    QTest::newRow("UTF-16 with byte order mark")
        << asUtf16WithByteOrderMark(standardHeader() + "1 00 FF 10\n# block\n2 7F 80 81\n1 01\n");
}

// The file goes out as the line conversion makes it out, junk or not.
void tst_updateRun::updateGoesOutAsConverted()
{
    QFETCH(QByteArray, contents);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("update.fwb"), contents)));
    QVERIFY(rig.clickStart());
    QVERIFY(rig.isSending() && !rig.buttonEnabled());
    QCOMPARE(rig.currentPage("infoStackedWidget"), QStringLiteral("progressPage"));

    QVERIFY(waitFor([&] { return !rig.isSending(); }, runTimeoutMs));
    QCOMPARE(rig.messages(), QStringList());
    QVERIFY(rig.hasEndedAs(QStringLiteral("Finished!")));
    QCOMPARE(rig.progressMaximum(), lineCount(contents));
    QCOMPARE(rig.progressValue(), lineCount(contents));

    const QVector<QByteArray> expected = expectedWireFrames(contents);
    QCOMPARE(framesOnTheWire(), expected);
    const QByteArray bytes = std::accumulate(expected.begin(), expected.end(), QByteArray());
    QVERIFY(adapter.waitForReceived(bytes.size(), runTimeoutMs));
    QCOMPARE(adapter.received(), bytes);
    for (const decodedFrame &frame : decodeFrames(dmxShim::events()))
        QVERIFY2(frame.breakUs >= 500, qPrintable(QStringLiteral("break of %1 us").arg(frame.breakUs)));
}

// A report that does not stop the sending used to leave the window frozen
// until the end of the file, and then "Finished!" followed the error box.
void tst_updateRun::errorWhileSendingStopsTheRunForGood()
{
    const QByteArray contents = standardHeader() + QByteArray("5 01 02 03\n").repeated(400);
    windowRig rig(adapter.portName());
    QVERIFY(rig.chooseFile(files.write(QStringLiteral("long.fwb"), contents)));
    QVERIFY(rig.clickStart());
    QVERIFY(dmxShim::waitForEvents(dmxShim::event::Write, 10, runTimeoutMs));

    // Two reports queued back to back, as a port that errs twice sends them.
    for (int report = 0; report < 2; ++report)
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), "serialPortError", Qt::QueuedConnection, Q_ARG(int, 5)));
    QVERIFY(waitFor([&] { return !rig.messages().isEmpty() && rig.isIdleAfterError(); }, runTimeoutMs));
    const int framesAtReset = framesOnTheWire().size();
    QVERIFY(framesAtReset < expectedWireFrames(contents).size());

    QTest::qWait(300);
    QCOMPARE(rig.messages(), QStringList(QStringLiteral("Serialport Error: FramingError")));
    QCOMPARE(framesOnTheWire().size(), framesAtReset);
    QVERIFY(rig.isIdleAfterError());
}

QTEST_MAIN(tst_updateRun)
#include "tst_updateRun.moc"
