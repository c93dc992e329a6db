#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "fixtureSoftwareUpdater.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "serialPortDiscovery.h"

namespace {

QList<serialPortDescription> fedPorts;

QList<serialPortDescription> feedPorts()
{
    return fedPorts;
}

serialPortDescription port(const QString &name, const QString &manufacturer, const QString &serialNumber)
{
    return {name, QStringLiteral("USB serial adapter"), manufacturer, serialNumber};
}

QStringList capturedDebugLines;

void captureDebugLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        capturedDebugLines.append(message);
}

const QString noInterfaceText = QStringLiteral("Currently no interface selected!");

} // namespace

class tst_interfaceSelection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsInterfacesNewestFirstAndMakesTheLastCurrent();
    void refreshMakesTheLastListedInterfaceCurrentAgain();
    void menuTextMarksOnlySiliconLabsAdapters_data();
    void menuTextMarksOnlySiliconLabsAdapters();
    void portsWithoutSerialNumberAreNeverListed();
    void refreshFindingOnlyTheCurrentInterface_data();
    void refreshFindingOnlyTheCurrentInterface();
    void startNeedsAnExistingUpdateFile();
    void refreshFindingNothingKeepsStartEnabled();
    void refreshDestroysTheEntriesItReplaces();

private:
    std::unique_ptr<fixtureSoftwareUpdater> makeWindow(bool withUpdateFile);
    QStringList menuTexts() const;
    QList<QAction *> entries() const { return window->portActionGroup->actions(); }
    QAction *entryFor(const QString &portName) const;
    QString checkedPortName() const;
    void refresh() { window->ui->actionRefreshPortsList->trigger(); }
    QPushButton *startButton() const { return window->ui->updateButton; }
    QString statusText() const { return window->interfaceLabel->text(); }
    QString selectedPortName() const { return window->selectedPortName; }

    std::unique_ptr<QTemporaryDir> workingDirectory;
    QString originalDirectory;
    std::unique_ptr<fixtureSoftwareUpdater> window;
};

void tst_interfaceSelection::init()
{
    fedPorts.clear();
    setSerialPortLister(feedPorts);
    originalDirectory = QDir::currentPath();
    workingDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workingDirectory->isValid());
    QVERIFY(QDir::setCurrent(workingDirectory->path()));
}

void tst_interfaceSelection::cleanup()
{
    window.reset();
    QDir::setCurrent(originalDirectory);
    workingDirectory.reset();
    setSerialPortLister(nullptr);
}

// The window picks up an update file from the working directory while it is
// built, and lists the fed ports with its own refresh.
std::unique_ptr<fixtureSoftwareUpdater> tst_interfaceSelection::makeWindow(bool withUpdateFile)
{
    if (withUpdateFile) {
        QFile file(QStringLiteral("x.fwb"));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create the update file");
    }
    return std::make_unique<fixtureSoftwareUpdater>();
}

QStringList tst_interfaceSelection::menuTexts() const
{
    QStringList texts;
    const auto actions = window->ui->menuPort->actions();
    for (const QAction *action : actions)
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

QAction *tst_interfaceSelection::entryFor(const QString &portName) const
{
    const auto actions = entries();
    for (QAction *action : actions) {
        if (action->data().toString() == portName)
            return action;
    }
    return nullptr;
}

QString tst_interfaceSelection::checkedPortName() const
{
    const QAction *checked = window->portActionGroup->checkedAction();
    return checked ? checked->data().toString() : QString();
}

void tst_interfaceSelection::listsInterfacesNewestFirstAndMakesTheLastCurrent()
{
    fedPorts = {port("COM3", "Example Corp", "A1"), port("COM7", "Other Maker", "B2")};
    window = makeWindow(true);

    QCOMPARE(menuTexts(), QStringList({"Other Maker B2", "Example Corp A1", "--", "Refresh Interfaces List"}));
    QCOMPARE(entries().size(), 2);
    QAction *com3 = entryFor("COM3");
    QAction *com7 = entryFor("COM7");
    QVERIFY(com3 && com7);
    QVERIFY(com3->isCheckable() && com7->isCheckable());
    QVERIFY(com7->isChecked());
    QVERIFY(!com3->isChecked());
    QCOMPARE(selectedPortName(), QString("COM7"));
    QCOMPARE(statusText(), "Current interface: " + com7->text());
    QVERIFY(startButton()->isEnabled());
}

void tst_interfaceSelection::refreshMakesTheLastListedInterfaceCurrentAgain()
{
    fedPorts = {port("COM3", "Example Corp", "A1"), port("COM7", "Other Maker", "B2")};
    window = makeWindow(true);
    QSignalSpy picked(window->portActionGroup, &QActionGroup::triggered);
    QAction *com3 = entryFor("COM3");
    QVERIFY(com3);

    com3->trigger();
    QCOMPARE(picked.count(), 1);
    QCOMPARE(selectedPortName(), QString("COM3"));
    QCOMPARE(statusText(), QString("Current interface: Example Corp A1"));
    QCOMPARE(checkedPortName(), QString("COM3"));

    refresh();
    QCOMPARE(selectedPortName(), QString("COM7"));
    QCOMPARE(statusText(), QString("Current interface: Other Maker B2"));
    QCOMPARE(checkedPortName(), QString("COM7"));
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

// Also proves that a marked adapter still ends up with its port name current,
// although it is selected once before its port name is known.
void tst_interfaceSelection::menuTextMarksOnlySiliconLabsAdapters()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, serialNumber);
    QFETCH(QString, expectedText);

    fedPorts = {serialPortDescription{"COM4", "CP2102 USB to UART Bridge", manufacturer, serialNumber}};
    capturedDebugLines.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(captureDebugLine);
    window = makeWindow(true);
    qInstallMessageHandler(previousHandler);

    QCOMPARE(menuTexts().value(0), expectedText);
    QCOMPARE(statusText(), "Current interface: " + expectedText);
    QCOMPARE(selectedPortName(), QString("COM4"));
    QVERIFY(startButton()->isEnabled());
    QCOMPARE(capturedDebugLines, QStringList({QString("\"COM4\" \"CP2102 USB to UART Bridge\" \"%1\" \"%2\"")
                                                  .arg(manufacturer, serialNumber)}));
}

void tst_interfaceSelection::portsWithoutSerialNumberAreNeverListed()
{
    fedPorts = {port("COM5", "Example Corp", "A1"), port("COM1", "Silicon Labs", ""), port("ttyS0", "", "")};
    capturedDebugLines.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(captureDebugLine);
    window = makeWindow(true);
    qInstallMessageHandler(previousHandler);

    QCOMPARE(menuTexts(), QStringList({"Example Corp A1", "--", "Refresh Interfaces List"}));
    QCOMPARE(selectedPortName(), QString("COM5"));
    QCOMPARE(capturedDebugLines.size(), 1);

    fedPorts = {port("COM1", "Silicon Labs", ""), port("ttyS0", "", "")};
    refresh();
    QCOMPARE(menuTexts(), QStringList({"--", "Refresh Interfaces List"}));
    QVERIFY(selectedPortName().isEmpty());
    QCOMPARE(statusText(), noInterfaceText);
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

    fedPorts = {port("COM9", manufacturer, "0001")};
    window = makeWindow(true);
    QCOMPARE(selectedPortName(), QString("COM9"));
    const QString entryText = entries().value(0)->text();

    if (!fileExists)
        QVERIFY(QFile::remove(QStringLiteral("x.fwb")));
    startButton()->setEnabled(startBefore);
    window->interfaceLabel->setText(QStringLiteral("left from before"));

    refresh();

    QCOMPARE(entries().size(), 1);
    QVERIFY(entries().value(0)->isChecked());
    QCOMPARE(selectedPortName(), QString("COM9"));
    QCOMPARE(statusText(), labelSetAgain ? "Current interface: " + entryText : QString("left from before"));
    QCOMPARE(startButton()->isEnabled(), startAfter);
}

void tst_interfaceSelection::startNeedsAnExistingUpdateFile()
{
    fedPorts = {port("COM3", "Example Corp", "A1"), port("COM7", "Other Maker", "B2")};
    window = makeWindow(false);
    QCOMPARE(selectedPortName(), QString("COM7"));
    QVERIFY(!startButton()->isEnabled());
    QAction *com3 = entryFor("COM3");
    QVERIFY(com3);
    com3->trigger();
    QVERIFY(!startButton()->isEnabled());
    window.reset();

    window = makeWindow(true);
    QVERIFY(startButton()->isEnabled());
    QVERIFY(QFile::remove(QStringLiteral("x.fwb")));
    com3 = entryFor("COM3");
    QVERIFY(com3);
    com3->trigger();
    QCOMPARE(selectedPortName(), QString("COM3"));
    QVERIFY(!startButton()->isEnabled());

    QFile file(QStringLiteral("x.fwb"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QAction *com7 = entryFor("COM7");
    QVERIFY(com7);
    com7->trigger();
    QVERIFY(startButton()->isEnabled());
}

void tst_interfaceSelection::refreshFindingNothingKeepsStartEnabled()
{
    fedPorts = {port("COM3", "Silicon Labs", "0001")};
    window = makeWindow(true);
    QVERIFY(startButton()->isEnabled());

    fedPorts.clear();
    refresh();

    QCOMPARE(menuTexts(), QStringList({"--", "Refresh Interfaces List"}));
    QVERIFY(entries().isEmpty());
    QVERIFY(selectedPortName().isEmpty());
    QCOMPARE(statusText(), noInterfaceText);
    QVERIFY(startButton()->isEnabled());
}

void tst_interfaceSelection::refreshDestroysTheEntriesItReplaces()
{
    fedPorts = {port("COM3", "Example Corp", "A1"), port("COM7", "Silicon Labs", "0001")};
    window = makeWindow(true);
    const QPointer<QAction> firstCom3 = entryFor("COM3");
    const QPointer<QAction> firstCom7 = entryFor("COM7");

    for (int i = 0; i < 25; ++i)
        refresh();

    QVERIFY(firstCom3.isNull());
    QVERIFY(firstCom7.isNull());
    QCOMPARE(entries().size(), 2);
    QCOMPARE(window->portActionGroup->findChildren<QAction *>().size(), 2);
    QCOMPARE(menuTexts().size(), 4);

    fedPorts = {port("COM3", "Example Corp", "A1")};
    refresh();
    QCOMPARE(menuTexts(), QStringList({"Example Corp A1", "--", "Refresh Interfaces List"}));
    QCOMPARE(entryFor("COM7"), nullptr);
    QCOMPARE(selectedPortName(), QString("COM3"));
}

QTEST_MAIN(tst_interfaceSelection)
#include "tst_interfaceSelection.moc"
