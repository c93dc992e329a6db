// The window as it comes up: meta-object, logo, first state, the update file
// it preselects from the working directory, and how it ends.

#include <QAction>
#include <QDirIterator>
#include <QImage>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QResource>
#include <QSet>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "fixtureSoftwareUpdater.h"
#include "windowTestSupport.h"

namespace {

template<typename T>
T *child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

QSet<QString> resourcePaths()
{
    QSet<QString> paths;
    QDirIterator it(QStringLiteral(":/"), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.insert(it.next());
    return paths;
}

// What an operator can see of the window and its menus, as text.
QStringList visibleState(QMainWindow &window)
{
    QStringList state;
    const QObjectList objects = window.findChildren<QObject *>() << &window;
    for (const QObject *object : objects) {
        for (const char *property : {"windowTitle", "text", "title", "toolTip", "visible", "enabled", "checked",
                                     "currentIndex", "value", "minimum", "maximum"})
            state << object->objectName() + QLatin1Char('.') + property + QLatin1Char('=')
                         + object->property(property).toString();
        if (auto *label = qobject_cast<const QLabel *>(object))
            state << QString::number(label->pixmap(Qt::ReturnByValue).cacheKey());
    }
    return state;
}

} // namespace

class tst_shellWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { feedSerialPorts({}); }

    void metaObjectListsSignalsAndSlotsInOrder();
    void logoIsTheOnlyResourceAndHasRealTransparency();
    void windowComesUpAndIgnoresMessages();
    void startUpScanPreselectsTheOldestUpdateFile_data();
    void startUpScanPreselectsTheOldestUpdateFile();
    void quitOrCloseEndsTheEventLoop_data();
    void quitOrCloseEndsTheEventLoop();
};

void tst_shellWindow::metaObjectListsSignalsAndSlotsInOrder()
{
    const QMetaObject &meta = fixtureSoftwareUpdater::staticMetaObject;
    QCOMPARE(meta.className(), "fixtureSoftwareUpdater");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        static const char *const access[] = {"private", "protected", "public"};
        static const char *const type[] = {"method", "signal", "slot", "constructor"};
        methods << QString::fromLatin1(QByteArray(access[method.access()]) + ' ' + type[method.methodType()] + ' '
                                       + method.typeName() + ' ' + method.methodSignature() + ' '
                                       + method.parameterNames().join(','))
                       .trimmed();
    }
    QCOMPARE(methods, QStringList({
        "public signal void startSending()",
        "public signal void cancelSending()",
        "public slot void on_actionQuit_triggered()",
        "public slot void on_selectFileButton_clicked()",
        "public slot void on_selectFileButton_2_clicked()",
        "public slot void on_updateButton_clicked()",
        "public slot void on_cancelButton_clicked()",
        "public slot void on_actionRefreshPortsList_triggered()",
        "public slot void serialPortSelected(QAction*) action",
        "public slot void serialPortError(int) error",
        "public slot void serialPortClosing()",
        "public slot void updateFinished()",
        "public slot void updateCanceled()",
        "public slot void updateFileLength(int) updateFileLength",
        "public slot void updateProgress(int) progress",
        "public slot void recieveMessage(QString) message",
    }));
}

void tst_shellWindow::logoIsTheOnlyResourceAndHasRealTransparency()
{
    // Qt registers resources of its own under ":/", varying between versions,
    // so the program's tree is what disappears when its resource is unregistered.
    const QSet<QString> withLogo = resourcePaths();
    Q_CLEANUP_RESOURCE(resources);
    const QSet<QString> withoutLogo = resourcePaths();
    Q_INIT_RESOURCE(resources);
    QCOMPARE(withLogo - withoutLogo, QSet<QString>({QStringLiteral(":/logo.png")}));
    QCOMPARE(withoutLogo - withLogo, QSet<QString>());

    const QImage logo(QStringLiteral(":/logo.png"));
    QCOMPARE(logo.size(), QSize(661, 157));
    QVERIFY(logo.hasAlphaChannel());
    int clear = 0, solid = 0;
    for (int y = 0; y < logo.height(); ++y) {
        for (int x = 0; x < logo.width(); ++x) {
            const int alpha = qAlpha(logo.pixel(x, y));
            clear += alpha == 0;
            solid += alpha == 255;
        }
    }
    QVERIFY2(clear > logo.width() * logo.height() / 4, "the background is not transparent");
    QVERIFY2(solid > 1000, "the artwork has no solid parts");

    // The file exactly as committed, uncompressed, in the format that records modification times.
    const QResource resource(QStringLiteral(":/logo.png"));
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QVERIFY(resource.lastModified().isValid());
    QFile source(QStringLiteral(LOGO_SOURCE_FILE));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(resource.data()), int(resource.size())), source.readAll());
}

void tst_shellWindow::windowComesUpAndIgnoresMessages()
{
    // A file alone does not enable Start; an interface is needed too.
    scratchWorkingDirectory scratch;
    QVERIFY(createAged(QStringLiteral("fixture.fwb")));
    fixtureSoftwareUpdater window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Orvana Firmware Updater 1.0.1"));
    QCOMPARE(window.objectName(), QStringLiteral("fixtureSoftwareUpdater"));
    auto *start = child<QPushButton>(window, "updateButton");
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->toolTip(), QStringLiteral("Select port and update file to start!"));

    const QList<QLabel *> status = window.statusBar()->findChildren<QLabel *>();
    QCOMPARE(status.size(), 1);
    QVERIFY(status.first()->isVisible());
    QCOMPARE(status.first()->text(), QStringLiteral("Currently no interface selected!"));

    auto *logo = child<QLabel>(window, "logoLabel");
    QCOMPARE(logo->pixmap(Qt::ReturnByValue).size(), QSize(661, 157));
    QVERIFY(logo->width() <= 520 && logo->height() <= 130);

    // Nothing is read at start, so the information page keeps its form texts.
    QCOMPARE(child<QLabel>(window, "fixtureDisplayLabel")->text(), QStringLiteral("Vendor Fixture"));
    QCOMPARE(child<QLabel>(window, "applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));

    // Messages from the transfer and the finished page's Cancel change nothing at all.
    child<QStackedWidget>(window, "updateStackedWidget")->setCurrentIndex(2);
    const QStringList before = visibleState(window);
    QVERIFY(before.contains(QStringLiteral("cancelButton_2.visible=true")));
    window.recieveMessage(QStringLiteral("Finished!"));
    QVERIFY(QMetaObject::invokeMethod(&window, "recieveMessage", Qt::QueuedConnection,
                                      Q_ARG(QString, QStringLiteral("error recieved: 7"))));
    child<QPushButton>(window, "cancelButton_2")->click();
    QCoreApplication::processEvents();
    QCOMPARE(visibleState(window), before);
}

void tst_shellWindow::startUpScanPreselectsTheOldestUpdateFile_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");

    // "name@seconds ago"; a trailing "/" makes a directory, "link->target" a symbolic link.
    QTest::newRow("older fwb before newer dmx") << QStringList({"a.fwb@200", "b.dmx@100"}) << "./a.fwb";
    QTest::newRow("older dmx before newer fwb") << QStringList({"a.fwb@100", "b.dmx@200"}) << "./b.dmx";
    QTest::newRow("extensions are case-sensitive")
        << QStringList({"UPDATE.FWB@500", "show.DMX@400", "plan.fwb.txt@300", "fwb@250", "late.fwb@10"})
        << "./late.fwb";
    QTest::newRow("directory, link and hidden file are skipped")
        << QStringList({"x.dmx/@500", "link.fwb->real.bin@600", ".a.fwb@700", "z.dmx@5"}) << "./z.dmx";
    QTest::newRow("nothing to preselect") << QStringList({"readme.txt@100", "UPDATE.FWB@50", "old.dmx/@900"})
                                          << "No File Selected";
}

void tst_shellWindow::startUpScanPreselectsTheOldestUpdateFile()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);

    scratchWorkingDirectory scratch;
    for (const QString &entry : qAsConst(entries)) {
        const QString name = entry.section(QLatin1Char('@'), 0, 0);
        const int age = entry.section(QLatin1Char('@'), 1).toInt();
        const QString target = name.section(QLatin1String("->"), 1);
        QVERIFY(createAged(target.isEmpty() ? name : target, age));
        if (!target.isEmpty())
            QVERIFY(QFile::link(target, name.section(QLatin1String("->"), 0, 0)));
    }

    // The label shows the path as listed, relative to the working directory.
    fixtureSoftwareUpdater window;
    QCOMPARE(child<QLabel>(window, "fileLabel")->text(), expected);
    QCOMPARE(child<QStackedWidget>(window, "infoStackedWidget")->currentIndex(), 0);
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
    QTimer::singleShot(0, &window, [&] {
        if (byClosing)
            window.close();
        else
            child<QAction>(window, "actionQuit")->trigger();
    });
    // A loop that does not end is reported instead of hanging the test.
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(tst_shellWindow)
#include "tst_shellWindow.moc"
