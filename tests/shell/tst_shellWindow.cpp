// The window as it comes up: meta-object, first texts, the update file it
// preselects from the working directory, and how it ends.

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <utime.h>

#include <memory>

#include "fixtureSoftwareUpdater.h"
#include "serialPortDiscovery.h"

namespace {

QList<serialPortDescription> noSerialPorts()
{
    return {};
}

QList<serialPortDescription> oneUsbAdapter()
{
    return {{QStringLiteral("ttyUSB7"), QStringLiteral("USB-Serial"), QStringLiteral("FTDI"),
             QStringLiteral("A10KX7")}};
}

// A fresh working directory for one window; the old one comes back afterwards.
class scratchWorkingDirectory
{
public:
    scratchWorkingDirectory() : previous(QDir::currentPath())
    {
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("work")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("store")));
        QVERIFY(QDir::setCurrent(work()));
    }
    ~scratchWorkingDirectory() { QDir::setCurrent(previous); }

    QString work() const { return root.filePath(QStringLiteral("work")); }
    QString store() const { return root.filePath(QStringLiteral("store")); }

private:
    QTemporaryDir root;
    QString previous;
};

bool setAge(const QString &path, int secondsAgo)
{
    const time_t when = QDateTime::currentDateTimeUtc().toSecsSinceEpoch() - secondsAgo;
    const utimbuf times{when, when};
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

// Creates what one entry describes, "name@age" with the age in seconds:
// a trailing "/" on the name makes a directory, "name->target" a symbolic
// link to a file of that name outside the working directory.
void createEntry(const scratchWorkingDirectory &scratch, const QString &entry)
{
    const QString spec = entry.section(QLatin1Char('@'), 0, 0);
    const int age = entry.section(QLatin1Char('@'), 1).toInt();
    QString name = spec;
    QString path;
    if (spec.contains(QLatin1String("->"))) {
        name = spec.section(QLatin1String("->"), 0, 0);
        const QString target = QDir(scratch.store()).filePath(spec.section(QLatin1String("->"), 1));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0 01 02\n");
        file.close();
        QVERIFY(setAge(target, age));
        QVERIFY(QFile::link(target, name));
        return;
    }
    if (name.endsWith(QLatin1Char('/'))) {
        name.chop(1);
        QVERIFY(QDir().mkdir(name));
    } else {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not read at start\n");
    }
    QVERIFY(setAge(name, age));
}

QPixmap pixmapOf(const QLabel *label)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    return label->pixmap(Qt::ReturnByValue);
#else
    return label->pixmap() ? *label->pixmap() : QPixmap();
#endif
}

// What an operator can see of the window, as text.
QStringList visibleState(const QMainWindow &window)
{
    QStringList state{window.windowTitle()};
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        QString line = widget->objectName() + QLatin1Char(' ') + QLatin1String(widget->metaObject()->className())
                       + (widget->isVisible() ? " shown" : " hidden")
                       + (widget->isEnabled() ? " enabled " : " disabled ") + widget->toolTip();
        if (auto *label = qobject_cast<const QLabel *>(widget))
            line += QLatin1Char(' ') + label->text() + QString::number(pixmapOf(label).cacheKey());
        if (auto *button = qobject_cast<const QAbstractButton *>(widget))
            line += QLatin1Char(' ') + button->text();
        if (auto *box = qobject_cast<const QGroupBox *>(widget))
            line += QLatin1Char(' ') + box->title();
        if (auto *stack = qobject_cast<const QStackedWidget *>(widget))
            line += QStringLiteral(" page %1").arg(stack->currentIndex());
        if (auto *bar = qobject_cast<const QProgressBar *>(widget))
            line += QStringLiteral(" %1..%2 at %3").arg(bar->minimum()).arg(bar->maximum()).arg(bar->value());
        state << line;
    }
    for (const QAction *action : window.findChildren<QAction *>())
        state << action->text() + (action->isChecked() ? " checked" : "") + (action->isEnabled() ? "" : " disabled");
    return state;
}

template<typename T>
T *child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

QLabel *interfaceLabelOf(const QMainWindow &window)
{
    const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
    return labels.size() == 1 ? labels.first() : nullptr;
}

} // namespace

class tst_shellWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void metaObjectListsSignalsAndSlotsInOrder();
    void windowComesUpWithTitleLogoAndNoInterface();
    void startUpScanPreselectsTheOldestUpdateFile_data();
    void startUpScanPreselectsTheOldestUpdateFile();
    void startIsEnabledOnlyWithFileAndInterface_data();
    void startIsEnabledOnlyWithFileAndInterface();
    void recievedMessagesChangeNothingVisible();
    void secondCancelButtonHasNoHandler();
    void quitOrCloseEndsTheEventLoop_data();
    void quitOrCloseEndsTheEventLoop();
};

void tst_shellWindow::initTestCase()
{
    setSerialPortLister(noSerialPorts);
}

void tst_shellWindow::cleanup()
{
    setSerialPortLister(noSerialPorts);
}

void tst_shellWindow::metaObjectListsSignalsAndSlotsInOrder()
{
    const struct { QMetaMethod::MethodType type; const char *signature; QList<QByteArray> names; } expected[] = {
        {QMetaMethod::Signal, "startSending()", {}},
        {QMetaMethod::Signal, "cancelSending()", {}},
        {QMetaMethod::Slot, "on_actionQuit_triggered()", {}},
        {QMetaMethod::Slot, "on_selectFileButton_clicked()", {}},
        {QMetaMethod::Slot, "on_selectFileButton_2_clicked()", {}},
        {QMetaMethod::Slot, "on_updateButton_clicked()", {}},
        {QMetaMethod::Slot, "on_cancelButton_clicked()", {}},
        {QMetaMethod::Slot, "on_actionRefreshPortsList_triggered()", {}},
        {QMetaMethod::Slot, "serialPortSelected(QAction*)", {"action"}},
        {QMetaMethod::Slot, "serialPortError(int)", {"error"}},
        {QMetaMethod::Slot, "serialPortClosing()", {}},
        {QMetaMethod::Slot, "updateFinished()", {}},
        {QMetaMethod::Slot, "updateCanceled()", {}},
        {QMetaMethod::Slot, "updateFileLength(int)", {"updateFileLength"}},
        {QMetaMethod::Slot, "updateProgress(int)", {"progress"}},
        {QMetaMethod::Slot, "recieveMessage(QString)", {"message"}},
    };

    const QMetaObject &meta = fixtureSoftwareUpdater::staticMetaObject;
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodOffset(), QMainWindow::staticMetaObject.methodCount());
    QCOMPARE(meta.methodCount() - meta.methodOffset(), int(sizeof expected / sizeof expected[0]));
    for (int i = 0; i < meta.methodCount() - meta.methodOffset(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), QByteArray(expected[i].signature));
        QCOMPARE(method.methodType(), expected[i].type);
        QCOMPARE(method.access(), QMetaMethod::Public);
        QCOMPARE(method.parameterNames(), expected[i].names);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
    }

    fixtureSoftwareUpdater window;
    QCOMPARE(window.qt_metacast("fixtureSoftwareUpdater"), static_cast<void *>(&window));
}

void tst_shellWindow::windowComesUpWithTitleLogoAndNoInterface()
{
    scratchWorkingDirectory scratch;
    fixtureSoftwareUpdater window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Orvana Firmware Updater 1.0.1"));
    QCOMPARE(window.objectName(), QStringLiteral("fixtureSoftwareUpdater"));

    auto *start = child<QPushButton>(window, "updateButton");
    QVERIFY(start);
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QCOMPARE(start->toolTip(), QStringLiteral("Select port and update file to start!"));

    QLabel *status = interfaceLabelOf(window);
    QVERIFY(status);
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), QStringLiteral("Currently no interface selected!"));

    auto *logo = child<QLabel>(window, "logoLabel");
    QVERIFY(logo);
    QCOMPARE(pixmapOf(logo).size(), QSize(661, 157));
    QVERIFY(logo->width() <= 520 && logo->height() <= 130);

    // Nothing is read at start, so the information page keeps its form texts.
    QCOMPARE(child<QLabel>(window, "fixtureDisplayLabel")->text(), QStringLiteral("Vendor Fixture"));
    QCOMPARE(child<QLabel>(window, "applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));

    // The menu holds only what the form put there when no port is listed.
    const QList<QAction *> portMenu = child<QMenu>(window, "menuPort")->actions();
    QCOMPARE(portMenu.size(), 2);
    QVERIFY(portMenu.first()->isSeparator());
}

void tst_shellWindow::startUpScanPreselectsTheOldestUpdateFile_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");

    QTest::newRow("older fwb before newer dmx") << QStringList({"a.fwb@200", "b.dmx@100"}) << "a.fwb";
    QTest::newRow("older dmx before newer fwb") << QStringList({"a.fwb@100", "b.dmx@200"}) << "b.dmx";
    QTest::newRow("extensions are case-sensitive")
        << QStringList({"UPDATE.FWB@500", "show.DMX@400", "plan.fwb.txt@300", "fwb@250", "late.fwb@10"}) << "late.fwb";
    QTest::newRow("directory, link and hidden file are skipped")
        << QStringList({"x.dmx/@500", "link.fwb->real.fwb@600", ".a.fwb@700", "z.dmx@5"}) << "z.dmx";
    QTest::newRow("nothing to preselect") << QStringList({"readme.txt@100", "UPDATE.FWB@50", "old.dmx/@900"})
                                          << QString();
}

void tst_shellWindow::startUpScanPreselectsTheOldestUpdateFile()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);

    scratchWorkingDirectory scratch;
    for (const QString &entry : qAsConst(entries)) {
        createEntry(scratch, entry);
        if (QTest::currentTestFailed())
            return;
    }

    fixtureSoftwareUpdater window;
    const QString shown = child<QLabel>(window, "fileLabel")->text();
    if (expected.isEmpty()) {
        QCOMPARE(shown, QStringLiteral("No File Selected"));
        return;
    }
    // The label shows the path as listed, relative to the working directory.
    QVERIFY2(QDir::isRelativePath(shown), qPrintable(shown));
    QCOMPARE(QFileInfo(shown).fileName(), expected);
    QCOMPARE(QFileInfo(shown).canonicalFilePath(), QFileInfo(QDir(scratch.work()), expected).canonicalFilePath());
    QCOMPARE(child<QStackedWidget>(window, "infoStackedWidget")->currentIndex(), 0);
}

void tst_shellWindow::startIsEnabledOnlyWithFileAndInterface_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<bool>("withAdapter");

    QTest::newRow("file and adapter") << true << true;
    QTest::newRow("adapter only") << false << true;
    QTest::newRow("file only") << true << false;
}

void tst_shellWindow::startIsEnabledOnlyWithFileAndInterface()
{
    QFETCH(bool, withFile);
    QFETCH(bool, withAdapter);

    scratchWorkingDirectory scratch;
    if (withFile)
        createEntry(scratch, QStringLiteral("fixture.fwb@60"));
    setSerialPortLister(withAdapter ? oneUsbAdapter : noSerialPorts);

    // The file must be found before the interfaces are listed, or Start stays off.
    fixtureSoftwareUpdater window;
    window.show();
    QCOMPARE(child<QPushButton>(window, "updateButton")->isEnabled(), withFile && withAdapter);
}

void tst_shellWindow::recievedMessagesChangeNothingVisible()
{
    scratchWorkingDirectory scratch;
    createEntry(scratch, QStringLiteral("fixture.dmx@60"));
    setSerialPortLister(oneUsbAdapter);
    fixtureSoftwareUpdater window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QStringList before = visibleState(window);
    QVERIFY(before.join(QLatin1Char('\n')).contains(QLatin1String("fixture.dmx")));
    window.recieveMessage(QStringLiteral("Finished!"));
    QVERIFY(QMetaObject::invokeMethod(&window, "recieveMessage", Qt::QueuedConnection,
                                      Q_ARG(QString, QStringLiteral("error recieved: 7"))));
    QCoreApplication::processEvents();
    QCOMPARE(visibleState(window), before);
}

void tst_shellWindow::secondCancelButtonHasNoHandler()
{
    const QMetaObject &meta = fixtureSoftwareUpdater::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        QVERIFY(!meta.method(i).methodSignature().startsWith("on_cancelButton_2_"));

    scratchWorkingDirectory scratch;
    fixtureSoftwareUpdater window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    child<QStackedWidget>(window, "updateStackedWidget")->setCurrentIndex(2);
    auto *button = child<QPushButton>(window, "cancelButton_2");
    QVERIFY(button->isVisible());

    const QStringList before = visibleState(window);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(visibleState(window), before);
}

void tst_shellWindow::quitOrCloseEndsTheEventLoop_data()
{
    QTest::addColumn<bool>("byClosing");
    QTest::newRow("App > Quit") << false;
    QTest::newRow("closing the window") << true;
}

void tst_shellWindow::quitOrCloseEndsTheEventLoop()
{
    QFETCH(bool, byClosing);

    scratchWorkingDirectory scratch;
    fixtureSoftwareUpdater window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *quit = child<QAction>(window, "actionQuit");
    QTimer::singleShot(0, &window, [&] {
        if (byClosing)
            window.close();
        else
            quit->trigger();
    });
    // A loop that does not end is reported instead of hanging the test.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(tst_shellWindow)
#include "tst_shellWindow.moc"
