// The window's side of an update that needs no transfer: file choice and the
// header it shows, the end-of-run clicks, progress, and the error reports.

#include <QLabel>
#include <QLocalServer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "fixtureSoftwareUpdater.h"
#include "modalAnswerer.h"
#include "serialPortDiscovery.h"

namespace {

QList<serialPortDescription> noSerialPorts()
{
    return {};
}

} // namespace

class tst_updateWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void headerIsShownAsRead_data();
    void headerIsShownAsRead();
    void dialogStartsAtTheChosenFile();
    void closingTheDialogChangesNothing();
    void unopenableFileIsReportedAndResets();

    void endOfRunClickLeadsToTheRightPage_data();
    void endOfRunClickLeadsToTheRightPage();

    void portErrorShowsItsMessageAndResets_data();
    void portErrorShowsItsMessageAndResets();
    void portErrorWithoutWordsResetsSilently_data();
    void portErrorWithoutWordsResetsSilently();
    void noErrorLeavesTheRunAlone();

private:
    QString writeFile(const QString &name, const QByteArray &contents);
    void chooseFile(const QString &path);
    void showSendingState();
    void verifyIdleAfterError();

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

void tst_updateWindow::initTestCase()
{
    QVERIFY(directory.isValid());
    // An empty working directory: nothing is preselected at start.
    QVERIFY(QDir::setCurrent(directory.path()));
    setSerialPortLister(noSerialPorts);
}

void tst_updateWindow::init()
{
    window = new fixtureSoftwareUpdater;
    window->show();
    answerer = new modalAnswerer;
}

void tst_updateWindow::cleanup()
{
    QCOMPARE(answerer->unexpectedFileDialogs, 0);
    delete answerer;
    delete window;
}

QString tst_updateWindow::writeFile(const QString &name, const QByteArray &contents)
{
    QFile file(directory.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void tst_updateWindow::chooseFile(const QString &path)
{
    answerer->answerNextFileDialogWith(path);
    QTest::mouseClick(widget<QPushButton>("selectFileButton"), Qt::LeftButton);
}

// What the window looks like while a worker sends, without one.
void tst_updateWindow::showSendingState()
{
    widget<QPushButton>("updateButton")->setEnabled(false);
    widget<QStackedWidget>("infoStackedWidget")->setCurrentIndex(2);
    widget<QStackedWidget>("updateStackedWidget")->setCurrentIndex(1);
    window->updateFileLength(10);
    window->updateProgress(3);
}

void tst_updateWindow::verifyIdleAfterError()
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
}

void tst_updateWindow::headerIsShownAsRead_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("application");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("fileShown");

    const QByteArray packets = "40 00 FF 10\n25 7F\n";
    QTest::newRow("complete") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n" + packets)
                              << "Application v1.04" << "Vendor Fixture" << true;
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
    const QByteArray longField = 'a' + QByteArray(599, 'b');
    QTest::newRow("header line longer than 510 bytes")
        << QByteArray("#" + longField + "\n#Vendor\n#Fixture\n#v1.04\n")
        << QString(QLatin1Char('A') + QString(509, QLatin1Char('b')) + QLatin1Char(' ')) << " " << false;
}

void tst_updateWindow::headerIsShownAsRead()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, application);
    QFETCH(QString, fixture);
    QFETCH(bool, fileShown);

    const QString path = writeFile(QStringLiteral("update.fwb"), contents);
    chooseFile(path);

    QCOMPARE(widget<QLabel>("fileLabel")->text(), path);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), application);
    QCOMPARE(widget<QLabel>("fixtureDisplayLabel")->text(), fixture);
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QLatin1String(fileShown ? "fixtureDisplayPage" : "selectFilePage"));
    // No interface is chosen, so the choice must not enable Start.
    QVERIFY(!widget<QPushButton>("updateButton")->isEnabled());
    QVERIFY(answerer->messageTexts.isEmpty());
}

void tst_updateWindow::dialogStartsAtTheChosenFile()
{
    QDir(directory.path()).mkdir(QStringLiteral("firmware"));
    const QString first = writeFile(QStringLiteral("firmware/first.fwb"), "#a\n#b\n#c\n#d\n");
    chooseFile(first);
    chooseFile(writeFile(QStringLiteral("second.fwb"), "#e\n#f\n#g\n#h\n"));

    QCOMPARE(answerer->fileDialogTitles, QStringList({"Select Firmware", "Select Firmware"}));
    QCOMPARE(answerer->fileDialogFilters.value(1), QStringLiteral("Firmware Files (*.fwb)"));
    QCOMPARE(answerer->fileDialogDirectories.value(1).canonicalPath(),
             QDir(directory.filePath(QStringLiteral("firmware"))).canonicalPath());
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("E h"));
}

void tst_updateWindow::closingTheDialogChangesNothing()
{
    const QString path = writeFile(QStringLiteral("shown.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n");
    chooseFile(path);
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("fixtureDisplayPage"));

    // From the file information, Select File goes back to the file page first.
    answerer->answerNextFileDialogWith(QString());
    QTest::mouseClick(widget<QPushButton>("selectFileButton_2"), Qt::LeftButton);

    QCOMPARE(answerer->fileDialogTitles.size(), 2);
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("selectFilePage"));
    QCOMPARE(widget<QLabel>("fileLabel")->text(), path);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));
    QCOMPARE(widget<QLabel>("fixtureDisplayLabel")->text(), QStringLiteral("Vendor Fixture"));
}

// A socket exists but cannot be opened as a file, whoever runs the test
// (a mode 000 file would still open for root).
void tst_updateWindow::unopenableFileIsReportedAndResets()
{
    chooseFile(writeFile(QStringLiteral("good.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n"));

    QLocalServer socket;
    const QString path = directory.filePath(QStringLiteral("socket.fwb"));
    QVERIFY(socket.listen(path));
    QFile probe(path);
    QVERIFY(!probe.open(QIODevice::ReadOnly | QIODevice::Text));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Couldn't open file \"%1\"").arg(probe.errorString())));
    chooseFile(path);

    QCOMPARE(answerer->messageTexts, QStringList(QStringLiteral("Couldn't open file ") + probe.errorString()));
    QCOMPARE(widget<QLabel>("fileLabel")->text(), path);
    verifyIdleAfterError();
}

void tst_updateWindow::endOfRunClickLeadsToTheRightPage_data()
{
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("informationClearedByAnError");
    QTest::addColumn<QString>("page");

    QTest::newRow("finished") << true << false << "selectFilePage";
    QTest::newRow("canceled with file information") << false << false << "fixtureDisplayPage";
    QTest::newRow("canceled after an error cleared it") << false << true << "selectFilePage";
}

void tst_updateWindow::endOfRunClickLeadsToTheRightPage()
{
    QFETCH(bool, finished);
    QFETCH(bool, informationClearedByAnError);
    QFETCH(QString, page);

    chooseFile(writeFile(QStringLiteral("shown.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n"));
    if (informationClearedByAnError) {
        QTest::ignoreMessage(QtDebugMsg, "error recieved: 14");
        window->serialPortError(14);
    }
    showSendingState();
    if (finished)
        window->updateFinished();
    else
        window->updateCanceled();

    auto *button = widget<QPushButton>("updateButton");
    QCOMPARE(button->text(), QLatin1String(finished ? "Finished!" : "Canceled!"));
    QVERIFY(button->isEnabled());
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentIndex(), 0);
    // The final progress stays visible until the operator clicks.
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentIndex(), 2);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 3);

    const QString application = widget<QLabel>("applicationDisplayLabel")->text();
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(button->text(), QStringLiteral("Start"));
    QVERIFY(button->isEnabled());
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName(), page);
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentIndex(), 0);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), application);
}

void tst_updateWindow::portErrorShowsItsMessageAndResets_data()
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
    int code = 1;
    for (const char *message : messages) {
        QTest::addRow("%d", code) << code << QString::fromLatin1(message);
        ++code;
    }
}

void tst_updateWindow::portErrorShowsItsMessageAndResets()
{
    QFETCH(int, code);
    QFETCH(QString, message);

    const QString path = writeFile(QStringLiteral("shown.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n");
    chooseFile(path);
    showSendingState();

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("error recieved: %1").arg(code)));
    window->serialPortError(code);

    QCOMPARE(answerer->messageTexts, QStringList(message));
    verifyIdleAfterError();
    QCOMPARE(widget<QLabel>("fileLabel")->text(), path);
}

void tst_updateWindow::portErrorWithoutWordsResetsSilently_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("14") << 14;
    QTest::newRow("-1") << -1;
}

void tst_updateWindow::portErrorWithoutWordsResetsSilently()
{
    QFETCH(int, code);

    chooseFile(writeFile(QStringLiteral("shown.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n"));
    showSendingState();

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("error recieved: %1").arg(code)));
    window->serialPortError(code);

    QVERIFY(answerer->messageTexts.isEmpty());
    verifyIdleAfterError();
}

void tst_updateWindow::noErrorLeavesTheRunAlone()
{
    chooseFile(writeFile(QStringLiteral("shown.fwb"), "#application\n#Vendor\n#Fixture\n#v1.04\n"));
    showSendingState();

    QTest::ignoreMessage(QtDebugMsg, "error recieved: 0");
    window->serialPortError(0);
    // Give a box that should not exist the time to be answered.
    QTest::qWait(50);

    QVERIFY(answerer->messageTexts.isEmpty());
    QVERIFY(!widget<QPushButton>("updateButton")->isEnabled());
    QCOMPARE(widget<QStackedWidget>("infoStackedWidget")->currentIndex(), 2);
    QCOMPARE(widget<QStackedWidget>("updateStackedWidget")->currentIndex(), 1);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 3);
    QCOMPARE(widget<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));
}

QTEST_MAIN(tst_updateWindow)
#include "tst_updateWindow.moc"
