// The Interfaces menu: which adapters are listed, which one is current, and
// what that does to the status bar and the Start button.

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "fixtureSoftwareUpdater.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "windowTestSupport.h"

namespace {

serialPortDescription port(const QString &name, const QString &manufacturer, const QString &serialNumber)
{
    return {name, QStringLiteral("USB serial adapter"), manufacturer, serialNumber};
}

QStringList debugLines;

void collectDebugLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines << message;
}

const QString noInterface = QStringLiteral("Currently no interface selected!");

} // namespace

class tst_interfaceSelection : public QObject
{
    Q_OBJECT

private slots:
    void init() { scratch = std::make_unique<scratchWorkingDirectory>(); }
    void cleanup();

    void refreshListsNewestFirstAndMakesTheLastCurrent();
    void menuTextMarksOnlySiliconLabsAdapters_data();
    void menuTextMarksOnlySiliconLabsAdapters();
    void portsWithoutSerialNumberAreNeverListed();
    void refreshFindingOnlyTheCurrentInterface_data();
    void refreshFindingOnlyTheCurrentInterface();
    void startNeedsAnExistingUpdateFile();

private:
    QStringList makeWindow(bool withUpdateFile = true);
    QStringList menu() const;
    QStringList selection() const;
    QAction *entryFor(const QString &portName) const;
    void refresh() { window->ui->actionRefreshPortsList->trigger(); }
    bool startEnabled() const { return window->ui->updateButton->isEnabled(); }

    std::unique_ptr<scratchWorkingDirectory> scratch;
    std::unique_ptr<fixtureSoftwareUpdater> window;
};

void tst_interfaceSelection::cleanup()
{
    window.reset();
    scratch.reset();
    setSerialPortLister(nullptr);
}

// Builds the window over the fed ports, with x.fwb for its start-up scan to
// find if asked, and returns the debug lines it logged meanwhile.
QStringList tst_interfaceSelection::makeWindow(bool withUpdateFile)
{
    if (withUpdateFile && !createAged(QStringLiteral("x.fwb")))
        qFatal("cannot create the update file");
    debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectDebugLine);
    window = std::make_unique<fixtureSoftwareUpdater>();
    qInstallMessageHandler(previous);
    return debugLines;
}

QStringList tst_interfaceSelection::menu() const
{
    QStringList texts;
    for (const QAction *action : window->ui->menuPort->actions()) {
        const QString mark = action->isChecked() ? " [x]" : action->isCheckable() ? " [ ]" : "";
        texts << (action->isSeparator() ? QStringLiteral("--") : action->text() + mark);
    }
    return texts;
}

// The selected port, the port of the checked entry, and the status-bar text.
QStringList tst_interfaceSelection::selection() const
{
    const QAction *checked = window->portActionGroup->checkedAction();
    return {window->selectedPortName, checked ? checked->data().toString() : QString(), window->interfaceLabel->text()};
}

QAction *tst_interfaceSelection::entryFor(const QString &portName) const
{
    for (QAction *action : window->portActionGroup->actions()) {
        if (action->data().toString() == portName)
            return action;
    }
    return nullptr;
}

void tst_interfaceSelection::refreshListsNewestFirstAndMakesTheLastCurrent()
{
    feedSerialPorts({port("COM3", "Example Corp", "A1"), port("COM7", "Other Maker", "B2")});
    makeWindow();
    QCOMPARE(menu(), QStringList({"Other Maker B2 [x]", "Example Corp A1 [ ]", "--", "Refresh Interfaces List"}));
    QCOMPARE(selection(), QStringList({"COM7", "COM7", "Current interface: Other Maker B2"}));
    QVERIFY(startEnabled());

    // The operator's choice holds only until the next refresh, which replaces every entry.
    const QPointer<QAction> com3 = entryFor("COM3");
    com3->trigger();
    QCOMPARE(selection(), QStringList({"COM3", "COM3", "Current interface: Example Corp A1"}));
    refresh();
    QVERIFY(com3.isNull());
    QCOMPARE(selection(), QStringList({"COM7", "COM7", "Current interface: Other Maker B2"}));

    for (int i = 0; i < 25; ++i)
        refresh();
    QCOMPARE(window->portActionGroup->findChildren<QAction *>().size(), 2);
    QCOMPARE(menu().size(), 4);

    feedSerialPorts({port("COM3", "Example Corp", "A1")});
    refresh();
    QCOMPARE(menu(), QStringList({"Example Corp A1 [x]", "--", "Refresh Interfaces List"}));
    QCOMPARE(window->portActionGroup->actions().size(), 1);
    QCOMPARE(selection(), QStringList({"COM3", "COM3", "Current interface: Example Corp A1"}));
}

void tst_interfaceSelection::menuTextMarksOnlySiliconLabsAdapters_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("serialNumber");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("Silicon Labs") << "Silicon Labs" << "0001" << "Silicon Labs 0001(Vantor2)";
    QTest::newRow("other case") << "silicon labs" << "0001" << "silicon labs 0001";
    QTest::newRow("extra words") << "Silicon Labs Inc" << "0001" << "Silicon Labs Inc 0001";
    QTest::newRow("other maker") << "Example Corp" << "A1" << "Example Corp A1";
    QTest::newRow("no manufacturer") << "" << "A1" << " A1";
}

// Also proves that a marked adapter ends up with its port name current,
// although it is selected once before its port name is known.
void tst_interfaceSelection::menuTextMarksOnlySiliconLabsAdapters()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, serialNumber);
    QFETCH(QString, expectedText);

    feedSerialPorts({{"COM4", "CP2102 USB to UART Bridge", manufacturer, serialNumber}});
    const QStringList logged = makeWindow();
    QCOMPARE(menu().value(0), expectedText + " [x]");
    QCOMPARE(selection(), QStringList({"COM4", "COM4", "Current interface: " + expectedText}));
    QVERIFY(startEnabled());
    QCOMPARE(logged, QStringList({QString("\"COM4\" \"CP2102 USB to UART Bridge\" \"%1\" \"%2\"")
                                      .arg(manufacturer, serialNumber)}));
}

void tst_interfaceSelection::portsWithoutSerialNumberAreNeverListed()
{
    feedSerialPorts({port("COM5", "Example Corp", "A1"), port("COM1", "Silicon Labs", ""), port("ttyS0", "", "")});
    QCOMPARE(makeWindow().size(), 1);
    QCOMPARE(menu(), QStringList({"Example Corp A1 [x]", "--", "Refresh Interfaces List"}));
    QCOMPARE(selection(), QStringList({"COM5", "COM5", "Current interface: Example Corp A1"}));

    // Finding nothing usable forgets the interface but leaves an enabled Start enabled.
    feedSerialPorts({port("COM1", "Silicon Labs", ""), port("ttyS0", "", "")});
    refresh();
    QCOMPARE(menu(), QStringList({"--", "Refresh Interfaces List"}));
    QVERIFY(window->portActionGroup->actions().isEmpty());
    QCOMPARE(selection(), QStringList({"", "", noInterface}));
    QVERIFY(startEnabled());
    feedSerialPorts({});
    refresh();
    QCOMPARE(selection(), QStringList({"", "", noInterface}));
    QVERIFY(startEnabled());
}

void tst_interfaceSelection::refreshFindingOnlyTheCurrentInterface_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("startBefore");
    QTest::addColumn<bool>("labelSetAgain");
    QTest::addColumn<bool>("startAfter");

    // A marked adapter goes through the full choice again; any other is only
    // given its check mark, and the refresh itself may only enable Start.
    QTest::newRow("Silicon Labs, file gone") << "Silicon Labs" << false << true << true << false;
    QTest::newRow("Silicon Labs, file present") << "Silicon Labs" << true << false << true << true;
    QTest::newRow("other maker, file gone") << "Example Corp" << false << true << false << true;
    QTest::newRow("other maker, file present") << "Example Corp" << true << false << false << true;
}

void tst_interfaceSelection::refreshFindingOnlyTheCurrentInterface()
{
    QFETCH(QString, manufacturer);
    QFETCH(bool, fileExists);
    QFETCH(bool, startBefore);
    QFETCH(bool, labelSetAgain);
    QFETCH(bool, startAfter);

    feedSerialPorts({port("COM9", manufacturer, "0001")});
    makeWindow();
    const QString entryText = window->portActionGroup->actions().value(0)->text();
    if (!fileExists)
        QVERIFY(QFile::remove(QStringLiteral("x.fwb")));
    window->ui->updateButton->setEnabled(startBefore);
    window->interfaceLabel->setText(QStringLiteral("left from before"));

    refresh();
    QCOMPARE(window->portActionGroup->actions().size(), 1);
    QCOMPARE(selection(), QStringList({"COM9", "COM9",
                                       labelSetAgain ? "Current interface: " + entryText : "left from before"}));
    QCOMPARE(startEnabled(), startAfter);
}

void tst_interfaceSelection::startNeedsAnExistingUpdateFile()
{
    feedSerialPorts({port("COM3", "Example Corp", "A1"), port("COM7", "Other Maker", "B2")});
    makeWindow(false);
    QCOMPARE(selection().value(0), QStringLiteral("COM7"));
    QVERIFY(!startEnabled());
    entryFor("COM3")->trigger();
    QVERIFY(!startEnabled());

    // A file deleted after the start-up scan no longer counts, and one put back counts again.
    makeWindow(true);
    QVERIFY(startEnabled());
    QVERIFY(QFile::remove(QStringLiteral("x.fwb")));
    entryFor("COM3")->trigger();
    QCOMPARE(selection().value(0), QStringLiteral("COM3"));
    QVERIFY(!startEnabled());
    QVERIFY(createAged(QStringLiteral("x.fwb")));
    entryFor("COM7")->trigger();
    QVERIFY(startEnabled());
}

QTEST_MAIN(tst_interfaceSelection)
#include "tst_interfaceSelection.moc"
