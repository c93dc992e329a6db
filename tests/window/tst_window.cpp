// The window as an operator uses it, through its widgets, keys and public slots: the update file it preselects,
// the Interfaces menu, the check of a chosen file, whole updates over the virtual DMX interface, the questions
// before an update is stopped, error reports and Quit during an update.
#include "fixtureSoftwareUpdater.h"
#include "serialInterfaces.h"
#include "testSupport.h"

#include <QSerialPort>
#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

#include <sys/stat.h>

namespace {

QList<serialPortDescription> fakePorts;
enum fileOrigin { byDialog, byDrop, atStartUp, onCommandLine };

// Message boxes and file dialogs are answered as they open: a box is read and answered as a person would, by a
// button's name, Enter or Escape; a file dialog is given the file.
struct modalAnswerer : QObject
{
    modalAnswerer()
    {
        // Two timers: while one waits in a dialog's accept(), the other
        // still answers a box that the dialog opens.
        for (QTimer *timer : {&timer, &spareTimer}) {
            connect(timer, &QTimer::timeout, this, [this] { answer(); });
            timer->start(10);
        }
    }
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (box == leftOpen)
                return;
            boxes << box->text();
            informative << box->informativeText();
            // Every box names the window it speaks for.
            if (!box->parentWidget() || box->windowTitle() != QLatin1String("Orvana Firmware Updater 1.0.1"))
                orphans << box->text();
            // As the test says, else as Escape would; "open" leaves the box to the program.
            const QString choice = choices.isEmpty() ? QStringLiteral("Escape") : choices.takeFirst();
            if (choice == QLatin1String("open"))
                return void(leftOpen = box);
            if (choice == QLatin1String("Enter") || choice == QLatin1String("Escape"))
                return QTest::keyClick(box, choice == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape);
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == choice)
                    return button->click();
            }
            orphans << "no button " + choice;
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            // It loads its folder in the background and then selects the
            // file it was opened with: answer once that is over, and replace
            // that selection with the file.
            if (++dialogTicks < 40)
                return;
            dialogTicks = 0;
            folders << dialog->directory().absolutePath();
            dialogSizes << dialog->frameGeometry().size();
            const QString given = std::exchange(file, QString());
            if (given.isEmpty())
                return dialog->reject();
            answered = given;
            dialog->selectFile(given);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(given);
            static_cast<QDialog *>(dialog)->accept();
        }
    }
    QString file; // given to the next dialog only
    QString answered; // the last file given
    QStringList boxes, informative, choices, folders, orphans;
    QList<QSize> dialogSizes;
    QPointer<QMessageBox> leftOpen;
    QTimer timer, spareTimer;
    int dialogTicks = 0;
};

// An update that ends by itself, a second after Start.
const QByteArray shortUpdate = "#a\n#b\n#c\n#d\n" + QByteArray("200 01\n").repeated(5);

} // namespace

class tst_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        QVERIFY(QDir::setCurrent(workingDirectory.path()));
        setSerialPortLister([] { return fakePorts; });
        // Away from the user's own settings, here and in the programs started from here.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workingDirectory.filePath("settings"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(workingDirectory.filePath("settings")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(workingDirectory.filePath("data")));
        // A test's clicks follow each other faster than a person's double-click; the rows that double-click say so.
        QApplication::setDoubleClickInterval(0);
    }

    void cleanup()
    {
        QCOMPARE(std::exchange(answer.orphans, {}), QStringList());
    }

    void startUpPreselectsTheOldestUpdateFile()
    {
        // Oldest first: only new.fwb and mid.dmx are update files the scan may take.
        const QStringList names{".hidden.fwb", "notes.txt", "UPPER.FWB", "mid.dmx", "new.fwb"};
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < names.size(); ++i) {
            QFile file(names.at(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(names.at(i) == "mid.dmx" ? "#spot\n#Orvana\n#Spot 575\n#v2\n0 01\n" : "") >= 0 && file.flush());
            QVERIFY(file.setFileTime(now.addDays(i - 10), QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(QStringLiteral("notes.txt"), QStringLiteral("link.fwb")));
        QVERIFY(QDir().mkdir(QStringLiteral("folder.dmx")));

        window.reset(new fixtureSoftwareUpdater);
        window->show();
        window->activateWindow(); // the keyboard's, for Alt+I and Escape
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        // The logo's row takes the window's spare height; the controls keep theirs.
        const QWidget *pages = child<QWidget>("infoStackedWidget");
        QCOMPARE(pages->height(), pages->sizeHint().height());
        QCOMPARE(window->windowTitle(), QStringLiteral("Orvana Firmware Updater 1.0.1"));
        QTRY_COMPARE(child<QLabel>("fileLabel")->text(), QStringLiteral("./mid.dmx"));
        // Read already: the fixture is named, and a cancel later shows this file's header, never the form's sample texts.
        QCOMPARE(child<QLabel>("chosenFileLabel")->text(),
                 QStringLiteral("mid.dmx \u00b7 Orvana Spot 575, Spot v2 \u00b7 2 update files here: the oldest is chosen"));
        QCOMPARE(child<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("Spot v2"));
        // Where the updater was started is not where the operator last went.
        QVERIFY(!QSettings("Orvana", "orvana-firmware-updater").contains("lastFolder"));
        QCOMPARE(interfaceLabel()->text(), QStringLiteral("Currently no interface selected!"));
        QVERIFY(!child<QPushButton>("updateButton")->isEnabled());
    }

    void interfacesMenu()
    {
        QMenu *menu = child<QMenu>("menuPort");
        QPushButton *start = child<QPushButton>("updateButton");
        const auto menuState = [&] {
            QStringList entries;
            for (const QAction *entry : menu->actions())
                entries << (entry->isChecked() ? "* " : "") + entry->text();
            return entries;
        };
        fakePorts = {{"COM3", "USB serial", "Example Corp", "A1", ""}, {"COM4", "built-in", "", "", ""},
                     {"COM5", "", "Silicon Labs Inc", "C3", ""}, {"COM6", "", "silicon labs", "B2", ""},
                     {"COM7", "", "Silicon Labs", "0001", ""}};
        child<QAction>("actionRefreshPortsList")->trigger();
        const int actions = window->findChildren<QAction *>().size();
        child<QAction>("actionRefreshPortsList")->trigger();
        QCOMPARE(window->findChildren<QAction *>().size(), actions);
        QCOMPARE(menuState(), (QStringList{"* Silicon Labs 0001(Vantor2)", "silicon labs B2", "Silicon Labs Inc C3",
                                           "Example Corp A1", "", "Refresh Interfaces List"}));
        QCOMPARE(interfaceLabel()->text(), QStringLiteral("Current interface: Silicon Labs 0001(Vantor2)"));
        QVERIFY(start->isEnabled());

        // Whatever the operator picks, a refresh makes the top entry current again.
        menu->actions().at(3)->trigger();
        QCOMPARE(interfaceLabel()->text(), QStringLiteral("Current interface: Example Corp A1"));
        child<QAction>("actionRefreshPortsList")->trigger();
        QCOMPARE(menuState().first(), QStringLiteral("* Silicon Labs 0001(Vantor2)"));

        // Refreshing the current interface while the update file is gone: our
        // own adapter is chosen afresh, which disables Start; any other only
        // keeps its check mark and leaves Start as it was, until it is picked.
        const std::pair<serialPortDescription, bool> refreshes[] = {{{"COM3", "USB serial", "Example Corp", "A1", ""}, true},
                                                                    {{"COM7", "", "Silicon Labs", "0001", ""}, false}};
        for (const auto &[port, startKept] : refreshes) {
            fakePorts = {port};
            child<QAction>("actionRefreshPortsList")->trigger();
            QVERIFY(QFile::rename(QStringLiteral("mid.dmx"), QStringLiteral("mid.old")));
            child<QAction>("actionRefreshPortsList")->trigger();
            QCOMPARE(start->isEnabled(), startKept);
            menu->actions().at(0)->trigger();
            QVERIFY(!start->isEnabled());
            QVERIFY(QFile::rename(QStringLiteral("mid.old"), QStringLiteral("mid.dmx")));
            child<QAction>("actionRefreshPortsList")->trigger();
            QVERIFY(start->isEnabled());
        }

        // Nothing listable: no interface, and no Start without one.
        fakePorts = {{"COM4", "built-in", "", "", ""}};
        child<QAction>("actionRefreshPortsList")->trigger();
        QCOMPARE(menuState(), (QStringList{"", "Refresh Interfaces List"}));
        QCOMPARE(interfaceLabel()->text(), QStringLiteral("Currently no interface selected!"));
        QVERIFY(!start->isEnabled());

        // Without a mouse: Alt and the title's underlined letter.
        QTest::keyClick(window.get(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->close();
    }

    void wholeUpdatesAndTheirEnds()
    {
        fakePorts = {{line.portPath(), "virtual", "Example Corp", "V1", ""}};
        child<QAction>("actionRefreshPortsList")->trigger();

        QVERIFY(chooseFile("#application\n#Vendor\n#Fixture\n#v1.04\n0 01 02\n#\n5 03 04\n"));
        QCOMPARE(child<QLabel>("applicationDisplayLabel")->text(), QStringLiteral("Application v1.04"));
        QCOMPARE(child<QLabel>("fixtureDisplayLabel")->text(), QStringLiteral("Vendor Fixture"));
        QCOMPARE(child<QStackedWidget>("infoStackedWidget")->currentWidget(), child<QWidget>("fixtureDisplayPage"));
        QCOMPARE(window->focusWidget(), child<QWidget>("updateButton")); // Space sends it

        QCOMPARE(runUpdate("Finished!"), QStringList());
        QCOMPARE(child<QProgressBar>("progressBar")->value(), 7);
        QCOMPARE(child<QProgressBar>("progressBar")->maximum(), 7);
        QCOMPARE(shimLog::last().hex(), expandFrames(framePlan{{"00 01 02", 6}, {"00 03 04"}}));
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        QCOMPARE(idleState(), QStringLiteral("Start enabled, page selectFilePage, startSendingPage, progress 0, "
                                             "labels 'Application v1.04' 'Vendor Fixture'"));

        // Changed since it was chosen: Start reads it again, and the window names what would go out.
        QVERIFY(!writeUpdateFile("#application\n#Vendor\n#Fixture\n#v1.05b\n0 01\n", QFileInfo(answer.answered).fileName()).isEmpty());
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        QTRY_VERIFY(child<QLabel>("chosenFileLabel")->text().endsWith("Vendor Fixture, Application v1.05b"));
        QCOMPARE(child<QStackedWidget>("updateStackedWidget")->currentIndex(), 0);

        // Canceled by Escape in a hold of 100 s; the header is still worth showing afterwards.
        QVERIFY(chooseFile("#application\n#Vendor\n#Fixture\n#v1.04\n0 01\n100000 02\n0 03\n"));
        QCOMPARE(runUpdate("Canceled!", 7, [this] { QTest::keyClick(window.get(), Qt::Key_Escape); }, "Stop Update"),
                 QStringList{"Stop the update?"});
        QCOMPARE(duringUpdate, QStringLiteral("71% \u00b7 1:40 left, interfaces locked, focus cancelButton, "
                                              "The computer may sleep during this update: no system bus, %1 \u00b7 Vendor "
                                              "Fixture, Application v1.04").arg(QFileInfo(answer.answered).fileName()));
        QCOMPARE(shimLog::last().hex(), expandFrames(framePlan{{"00 01", 6}, {"00 02"}}));
        QCOMPARE(child<QLabel>("updateNoteLabel")->text(), QStringLiteral("The fixture may hold part of the update: "
                                                                          "6 of 7 lines went out. Send the whole file again."));
        QVERIFY(!child<QLabel>("sleepLabel")->isVisible() && child<QAction>("actionRefreshPortsList")->isEnabled());
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        QCOMPARE(idleState(), QStringLiteral("Start enabled, page fixtureDisplayPage, startSendingPage, progress 0, "
                                             "labels 'Application v1.04' 'Vendor Fixture'"));
        QVERIFY(child<QLabel>("updateNoteLabel")->isVisible()); // until the next Start
    }

    // Stopping leaves the fixture with part of the update: Cancel, Escape and closing ask first, Keep Updating is
    // the default, and a question still open when the update ends goes with it.
    void stoppingAnUpdateIsAsked_data()
    {
        QTest::addColumn<QString>("asking");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("end");
        QTest::newRow("Cancel, Escape") << "Cancel" << "Escape" << "Finished!";
        QTest::newRow("Escape, Enter") << "Escape" << "Enter" << "Finished!";
        QTest::newRow("Cancel, Stop Update") << "Cancel" << "Stop Update" << "Canceled!";
        QTest::newRow("Cancel, left open") << "Cancel" << "open" << "Finished!";
        QTest::newRow("closing, Enter") << "close" << "Enter" << "Finished!";
        QTest::newRow("closing, left open") << "close" << "open" << "Finished!";
    }

    void stoppingAnUpdateIsAsked()
    {
        QFETCH(QString, asking);
        QFETCH(QString, reply);
        QFETCH(QString, end);
        QVERIFY(chooseFile(shortUpdate));
        const QStringList shown = runUpdate(qPrintable(end), 1, [&] {
            if (asking == "close")
                QVERIFY(!window->close());
            else
                asking == "Cancel" ? QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton)
                                   : QTest::keyClick(window.get(), Qt::Key_Escape);
        }, reply);
        QCOMPARE(shown, QStringList{asking == "close" ? "An update is running." : "Stop the update?"});
        QVERIFY(!QApplication::activeModalWidget() && window->isVisible());
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
    }

    // A double-click, or Space pressed twice, is one click: the second never reaches what the button has just become,
    // Cancel in its place after Start, or Start after "Finished!".
    void aDoubleClickIsOneClick()
    {
        QVERIFY(chooseFile(shortUpdate));
        QPushButton *start = child<QPushButton>("updateButton");
        const QPoint there = start->mapTo(window.get(), start->rect().center());
        const auto twice = [&](bool keys) {
            for (int interval : {0, 60000}) { // the second within the double-click interval of the first
                QApplication::setDoubleClickInterval(interval);
                keys ? QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space)
                     : QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, there);
            }
            QApplication::setDoubleClickInterval(0);
        };
        for (bool keys : {false, true}) {
            answer.boxes.clear();
            shimLog::clear();
            twice(keys);
            QTRY_VERIFY(start->isVisible() && start->text() == "Finished!");
            twice(keys);
            QCOMPARE(start->text() + answer.boxes.join(' '), QStringLiteral("Start"));
            QCOMPARE(shimLog::sessions().size(), 1);
        }
    }

    void errorReports()
    {
        // A FIFO typed into the dialog would hold the window until something writes to it; the file chosen before stays.
        const QString chosen = child<QLabel>("chosenFileLabel")->text(), path = child<QLabel>("fileLabel")->text();
        QVERIFY(mkfifo(qPrintable(answer.file = QDir::current().absoluteFilePath("pipe.fwb")), 0600) == 0);
        QTest::mouseClick(child<QPushButton>("selectFileButton"), Qt::LeftButton);
        QCOMPARE(answer.boxes.takeLast(), QStringLiteral("Couldn't open file Not a regular file"));
        QVERIFY(child<QLabel>("fileLabel")->text() == path && child<QLabel>("chosenFileLabel")->text() == chosen);
        const QString idle("Start enabled, page selectFilePage, startSendingPage, progress 0, labels '' ''");
        QCOMPARE(idleState(), idle);
        const QString partial("The fixture may hold part of the update: 4 of 6 lines went out. Send the whole file again.");
        {
            const scopedEnvironment unplugged("DMXSHIM_UNPLUG_AFTER", "3");
            QVERIFY(chooseFile("#application\n#Vendor\n#Fixture\n#v1.04\n0 01\n0 02\n"));
            const auto plugged = std::exchange(fakePorts, {{"COM9", "", "Example Corp", "B7", ""}});
            QCOMPARE(runUpdate("Start"), QStringList{"Serialport Error: ResourceError: Device Unavailable"});
            QCOMPARE(answer.informative, QStringList{partial});
            // Still the current interface, marked as gone: Start waits until it is back.
            QCOMPARE(interfaceLabel()->text(), QStringLiteral("Current interface: Example Corp V1 is gone: plug it in again, or choose another"));
            QVERIFY(!child<QPushButton>("updateButton")->isEnabled() && !window->findChild<QActionGroup *>()->checkedAction()->isEnabled());
            fakePorts = plugged;
            QTRY_COMPARE(interfaceLabel()->text(), QStringLiteral("Current interface: Example Corp V1"));
        }
        QCOMPARE(shimLog::last().hex(), expandFrames(framePlan{{"00 01", 3}}));
        QCOMPARE(idleState(), idle);
        QCOMPARE(child<QLabel>("updateNoteLabel")->text(), partial); // not only in the box

        // An interface that is gone is named, with those listed now.
        const auto plugged = std::exchange(fakePorts, {{"ttyGone", "", "Example Corp", "G1", ""}});
        child<QAction>("actionRefreshPortsList")->trigger();
        fakePorts = {{"COM9", "", "Example Corp", "B7", ""}};
        answer.informative.clear();
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        QTRY_COMPARE(answer.informative, QStringList{"No interface at /dev/ttyGone; listed now: Example Corp B7 (COM9)."});
        QVERIFY(!child<QLabel>("updateNoteLabel")->isVisible()); // a new Start, and nothing went out
        fakePorts = plugged;
        child<QAction>("actionRefreshPortsList")->trigger();

        // A port error while the worker still sends: it is stopped, and what it
        // still had to say ("canceled") must not turn up after the reset.
        QVERIFY(chooseFile("#application\n#Vendor\n#Fixture\n#v1.04\n0 01\n100000 02\n"));
        QCOMPARE(runUpdate("Start", 7, [this] { window->serialPortError(QSerialPort::ReadError); }),
                 QStringList{"Serialport Error: ReadError"});
        QCOMPARE(idleState(), idle);

        // A code in words, with what to do about it below them; none for no error or an unknown code.
        answer.informative.clear();
        for (const int code : {int(QSerialPort::NoError), int(QSerialPort::PermissionError), 99}) {
            answer.boxes.clear();
            window->serialPortError(code);
            QCOMPARE(answer.boxes.join(QString()), code == QSerialPort::PermissionError ? "Serialport Error: PermissionError" : "");
        }
        QCOMPARE(answer.informative, QStringList{"Another program holds the interface: another update, a console or a terminal program."});
        // Told by the kind of failure, not by its words.
        const scopedEnvironment noBreak("DMXSHIM_NO_BREAK", "95");
        QCOMPARE(runUpdate("Start"), QStringList{"This interface cannot send a DMX512 break"});
        QVERIFY(answer.informative.value(0).startsWith("Choose an interface whose adapter can send a break"));
    }

    // Read aside, as a file of hundreds of megabytes must be: the window says how far it is, Escape stops it,
    // and the file chosen before stays.
    void aLargeFileIsReadAside()
    {
        const QString chosen = child<QLabel>("chosenFileLabel")->text();
        answer.file = writeUpdateFile("#a\n#b\n#c\n#d\n" + QByteArray("0 01 02 03 04 05 06 07\n").repeated(2000000), "large.fwb");
        QTest::mouseClick(child<QPushButton>("selectFileButton"), Qt::LeftButton);
        QTRY_VERIFY(child<QProgressBar>("progressBar")->text().startsWith("Reading large.fwb: "));
        QVERIFY(!child<QPushButton>("updateButton")->isEnabled());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_COMPARE(idleState(), QStringLiteral("Start enabled, page selectFilePage, startSendingPage, progress 0, labels '' ''"));
        QCOMPARE(child<QLabel>("chosenFileLabel")->text(), chosen);
        QVERIFY(QFile::remove(answer.answered));
    }

    // An update bundle may carry a "dll" folder, and the updater is started where
    // the update files are: no code may come from there.
    void noPluginsFromTheWorkingDirectory()
    {
        QVERIFY(QDir().mkpath("dll/imageformats"));
        qputenv("QT_DEBUG_PLUGINS", "1"); // for the updater: this process has looked for its plug-ins already
        QProcess updater;
        updater.setProcessChannelMode(QProcess::MergedChannels);
        updater.start(QStringLiteral(UPDATER_PATH), QStringList());
        // The logo is read while the window is built; the program's own folder is looked in last.
        QByteArray output;
        QVERIFY(QTest::qWaitFor([&] { return (output += updater.readAll()).contains(QFileInfo(UPDATER_PATH).path().toUtf8() + "/imageformats"); }));
        // As a logout or a kill ends it: told to the event loop, not dead on the spot.
        updater.terminate();
        QVERIFY(updater.waitForFinished() && updater.exitStatus() == QProcess::NormalExit && updater.exitCode() == 0);
        QVERIFY2(!output.contains(QDir::currentPath().toUtf8() + "/dll"), output.constData());
    }

    // Every way a file is chosen reads it first: a file with warnings is used only when
    // the operator says so, one that would send nothing not at all.
    void chosenFilesAreChecked_data()
    {
        QTest::addColumn<int>("origin");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("box"); // its text's end; the file is taken where none or "Use Anyway"
        QByteArray noise(20000, Qt::Uninitialized);
        QRandomGenerator(27).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        const QByteArray prose("Dear crew,\nthe show starts at eight.\n");
        const QString warned(" warnings. Sent as it is, it may leave the fixture with a broken update.");
        // Binary data is one warning, not hundreds of riddles.
        QTest::newRow("random bytes in the dialog") << int(byDialog) << noise << ""
                                                    << " has 1 warning. Sent as it is, it may leave the fixture with a broken update.";
        QTest::newRow("a letter dropped, used anyway") << int(byDrop) << prose << "Use Anyway" << warned;
        QTest::newRow("a letter found at start-up") << int(atStartUp) << prose << "" << warned;
        QTest::newRow("comments only, named on the command line")
            << int(onCommandLine) << QByteArray("#a\n#b\n#c\n#d\n") << "" << " is not an update file.";
        QTest::newRow("a clean file, named on the command line")
            << int(onCommandLine) << QByteArray("#a\n#b\n#c\n#d\n0 01\n") << "" << "";
        QTest::newRow("a file of 13 minutes, used anyway") << int(byDialog) << QByteArray("#a\n#b\n#c\n#d\n400000 01\n400000 02\n")
            << "Use Anyway" << "takes about 13 minutes to send; the fixture must stay powered and connected all that time.";
    }

    void chosenFilesAreChecked()
    {
        QFETCH(int, origin);
        QFETCH(QByteArray, contents);
        QFETCH(QString, choice);
        answer.boxes.clear();
        answer.choices = choice.isEmpty() ? QStringList() : QStringList{choice};
        const int dialogs = answer.folders.size();
        const QString path = writeUpdateFile(contents, QStringLiteral("candidate.fwb"));
        std::unique_ptr<fixtureSoftwareUpdater> started;
        QTemporaryDir folder;
        // A program started afresh, whose history holds none of this test's updates.
        const scopedEnvironment history("XDG_DATA_HOME", QFile::encodeName(folder.path()));
        if (origin == atStartUp || origin == onCommandLine) {
            QVERIFY(QFile::copy(path, folder.filePath("candidate.fwb")) && QDir::setCurrent(folder.path()));
            started.reset(origin == atStartUp ? new fixtureSoftwareUpdater : new fixtureSoftwareUpdater(path));
            QVERIFY(QDir::setCurrent(workingDirectory.path()));
        }
        fixtureSoftwareUpdater *target = started ? started.get() : window.get();
        const QString before = target->findChild<QLabel *>("fileLabel")->text();
        if (origin == byDialog) {
            QVERIFY(chooseFile(contents, "candidate.fwb"));
        } else if (origin == byDrop) {
            QMimeData data; // from a folder of its own, where the next dialog is to open
            QVERIFY(QDir().mkpath("dropped") && QFile::copy(path, workingDirectory.filePath("dropped/candidate.fwb")));
            data.setUrls({QUrl::fromLocalFile(workingDirectory.filePath("dropped/candidate.fwb"))});
            QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QVERIFY(QCoreApplication::sendEvent(window.get(), &enter) && enter.isAccepted());
            QCoreApplication::sendEvent(window.get(), &drop);
        }
        QFETCH(QString, box);
        const auto label = [target] { return target->findChild<QLabel *>("fileLabel")->text(); };
        QVERIFY(QTest::qWaitFor([&] { return box.isEmpty() ? label() != before : !answer.boxes.isEmpty(); }));
        QCoreApplication::processEvents();
        QCOMPARE(answer.boxes.value(0).right(box.size()), box);
        QCOMPARE(label().endsWith("candidate.fwb"), box.isEmpty() || !choice.isEmpty());
        // Choose Another File: the dialog opens where the last file taken was, here the one dropped.
        if (origin == atStartUp)
            QTRY_COMPARE(answer.folders.mid(dialogs).value(0), workingDirectory.filePath("dropped"));
        QVERIFY(target->findChild<QLabel *>("applicationDisplayLabel")->text() != "Application v1.04"); // the form's sample
        // What was used anyway stays marked while it is chosen.
        if (choice == "Use Anyway")
            QVERIFY(target->findChild<QLabel *>("chosenFileLabel")->text().contains(box.contains("warning") ? "used anyway, with" : "takes about 13"));
    }

    // All without a display: the application object, which needs one, is never made.
    void commandLineWithoutADisplay()
    {
        QProcess updater;
        updater.setEnvironment(QProcess::systemEnvironment().filter(QRegularExpression("^(?!(DISPLAY|WAYLAND_DISPLAY|QT_QPA_PLATFORM)=)")));
        QByteArray output;
        for (const char *option : {"--version", "--help"}) {
            updater.start(QStringLiteral(UPDATER_PATH), {QString::fromLatin1(option)});
            QVERIFY(updater.waitForFinished() && updater.exitStatus() == QProcess::NormalExit && updater.exitCode() == 0);
            output += updater.readAllStandardOutput();
        }
        QVERIFY(output.startsWith("orvana-firmware-updater " UPDATER_VERSION "\nUsage: orvana-firmware-updater [FILE]\n"));
        // Qt's own options are not the updater's files.
        updater.start(QStringLiteral(UPDATER_PATH), {"-style", "fusion", "a.fwb", "b.fwb"});
        QVERIFY(updater.waitForFinished() && updater.exitStatus() == QProcess::NormalExit);
        QCOMPARE(updater.exitCode(), 2);
        QCOMPARE(updater.readAllStandardError(), "orvana-firmware-updater: one update file at a time\nTry 'orvana-firmware-updater --help'.\n");
    }

    // At 200 % on a 1280 x 800 screen; in a second run of this program, on Xvfb.
    void windowFitsTheScreen()
    {
        if (qEnvironmentVariableIsSet("FIT_SCREEN_RUN")) {
            fakePorts = {{line.portPath(), "virtual", "Future Technology Devices International, Ltd", "A1B2C3D4", ""}};
            window.reset(new fixtureSoftwareUpdater);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            const QSize room = window->screen()->availableGeometry().size();
            const auto fits = [&](const QSize &size) { return room.expandedTo(size) == room; };
            // Chosen in the file dialog, then sent with the notice that the computer may sleep, then canceled.
            QVERIFY(chooseFile(shortUpdate) && fits(answer.dialogSizes.value(0, room * 2)));
            bool fitWhileSending = false;
            QCOMPARE(runUpdate("Canceled!", 1, [&] {
                fitWhileSending = QTest::qWaitFor([&] { return child<QLabel>("sleepLabel")->isVisible(); })
                    && fits(window->frameGeometry().size());
                QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton);
            }, "Stop Update"), QStringList{"Stop the update?"});
            QVERIFY(fitWhileSending && child<QLabel>("updateNoteLabel")->isVisible() && fits(window->frameGeometry().size()));
            return;
        }
        if (QStandardPaths::findExecutable("xvfb-run").isEmpty())
            QSKIP("xvfb-run is not installed");
        // The X server has no use for the shim or the sanitizers, which only this program gets; Qt's X11 plug-in
        // leaks what D-Bus gives it.
        QProcess run;
        run.setEnvironment(QProcess::systemEnvironment().filter(QRegularExpression("^(?!(LD_PRELOAD|QT_QPA_PLATFORM|ASAN_OPTIONS)=)"))
                           << "FIT_SCREEN_RUN=1" << "QT_SCALE_FACTOR=2" << "QT_QPA_PLATFORM=xcb" << "ASAN_OPTIONS=detect_leaks=0");
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("xvfb-run", {"-a", "-s", "-screen 0 1280x800x24", "env", "LD_PRELOAD=" + qEnvironmentVariable("LD_PRELOAD"),
                               QCoreApplication::applicationFilePath(), "windowFitsTheScreen"});
        QVERIFY(run.waitForFinished(60000));
        QVERIFY2(run.exitCode() == 0, run.readAll().constData());
    }

    // An update that did not finish is told at the next start, before anything else, once; one that a finished
    // update of the same file through the same interface has covered since is not, nor is a line torn by a power cut.
    void unfinishedUpdatesToldAtStart()
    {
        QTemporaryDir home;
        const scopedEnvironment history("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QVERIFY(QDir().mkpath(home.filePath("orvana-firmware-updater")));
        const QString start("{\"record\":\"start\",\"run\":\"%1\",\"time\":\"2026-12-07T14:03:00.000Z\",\"lines\":3019,"
                            "\"interface\":{\"portName\":\"ttyUSB0\",\"serialNumber\":\"A1\",\"manufacturer\":\"FTDI\"},"
                            "\"file\":{\"name\":\"spot.fwb\",\"sha256\":\"%2\",\"application\":\"spot\",\"vendor\":\"Orvana\","
                            "\"fixture\":\"Spot 575\",\"version\":\"v1.04\"}}\n");
        const QString end("{\"record\":\"end\",\"run\":\"%1\",\"ending\":\"%2\",\"line\":%3,\"frames\":%3}\n");
        QFile journal(home.filePath("orvana-firmware-updater/history.jsonl"));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write((start.arg("killed", "aa") + "{\"record\":\"progress\",\"run\":\"killed\",\"line\":462,\"frames\":470}\n"
                       + start.arg("unplugged", "bb") + end.arg("unplugged", "failed").arg(9) + start.arg("again", "bb")
                       + end.arg("again", "finished").arg(3019) + "{\"record\":\"progress\",\"ru").toUtf8());
        journal.close();
        answer.boxes.clear();
        answer.informative.clear();
        {
            const fixtureSoftwareUpdater started;
            QTRY_COMPARE(answer.boxes, QStringList{"An update did not finish."});
        }
        const QString when = QDateTime(QDate(2026, 12, 7), QTime(14, 3), Qt::UTC).toLocalTime().toString("yyyy-MM-dd hh:mm");
        QCOMPARE(answer.informative, QStringList{"Orvana Spot 575, Spot v1.04 (spot.fwb), through FTDI A1 (ttyUSB0), " + when
                                                 + ": interrupted: the program ended before the update did.\nThe fixture may hold "
                                                   "part of the update: at least 462 of 3019 lines went out. Send the whole file again."});
        QVERIFY(historyQueries::untold(updateHistory(home.filePath("orvana-firmware-updater")).runs()).isEmpty());
    }

    // Last: once the application's event loop has ended, Qt 6 ends every modal loop after it at once.
    void quitDuringAnUpdate()
    {
        QVERIFY(chooseFile("#application\n#Vendor\n#Fixture\n#v1.04\n0 01\n100000 02\n0 03\n"));
        shimLog::clear();
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return shimLog::last().frames.size() >= 7; }));
        answer.choices = QStringList{"Stop and Quit"};
        QTimer::singleShot(0, child<QAction>("actionQuit"), &QAction::trigger);
        QTimer::singleShot(5000, window.get(), [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(answer.choices.isEmpty());
        // What main() does once the event loop has ended.
        QElapsedTimer closing;
        closing.start();
        window.reset();
        QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
        QVERIFY(shimLog::last().closed);
        QCOMPARE(shimLog::last().hex(), expandFrames(framePlan{{"00 01", 6}, {"00 02"}}));
    }

private:
    template<typename T>
    T *child(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    QLabel *interfaceLabel() const { return window->statusBar()->findChild<QLabel *>(); }

    virtualDmxLine line;
    modalAnswerer answer;
    QTemporaryDir workingDirectory;
    std::unique_ptr<fixtureSoftwareUpdater> window;
    QString duringUpdate; // what the window showed when runUpdate acted

    // Chooses it in the file dialog, and waits until it has been read and taken, or not.
    bool chooseFile(const QByteArray &contents, const QString &name = QString())
    {
        answer.file = writeUpdateFile(contents, name);
        QTest::mouseClick(child<QPushButton>("selectFileButton"), Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return answer.file.isEmpty() && child<QStackedWidget>("updateStackedWidget")->currentIndex() == 0; }))
            return false;
        // The keyboard's again, once the dialog and the boxes are gone.
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    // Presses Start, runs the action once atFrame frames are out, with the reply for the question it may raise,
    // and returns the message boxes that opened until the button read endText.
    QStringList runUpdate(const char *endText, int atFrame = -1, const std::function<void()> &action = {},
                          const QString &reply = QString())
    {
        answer.boxes.clear();
        answer.informative.clear();
        shimLog::clear();
        QTest::mouseClick(child<QPushButton>("updateButton"), Qt::LeftButton);
        const bool sending = child<QStackedWidget>("infoStackedWidget")->currentWidget() == child<QWidget>("progressPage")
            && child<QStackedWidget>("updateStackedWidget")->currentIndex() == 1;
        if (atFrame >= 0) {
            if (!QTest::qWaitFor([&] { return shimLog::last().frames.size() >= atFrame; }))
                return {"no frames: " + shimLog::last().hex().join('|')};
            QCoreApplication::processEvents();
            const QLabel *sleep = child<QLabel>("sleepLabel");
            duringUpdate = QStringLiteral("%1, interfaces %2, focus %3, %4, %5").arg(child<QProgressBar>("progressBar")->text())
                .arg(child<QAction>("actionRefreshPortsList")->isEnabled() || window->findChild<QActionGroup *>()->isEnabled() ? "free" : "locked")
                .arg(window->focusWidget() ? window->focusWidget()->objectName() : "none",
                     sleep->isVisible() ? sleep->text() + ": " + sleep->toolTip().section('\n', -1).section(':', 0, 0) : "no sleep warning",
                     child<QLabel>("chosenFileLabel")->text());
            answer.choices = reply.isEmpty() ? QStringList() : QStringList{reply};
            action();
        }
        QPushButton *button = child<QPushButton>("updateButton");
        if (!QTest::qWaitFor([&] { return child<QStackedWidget>("updateStackedWidget")->currentIndex() == 0 && button->text() == endText; }, 20000))
            return {"no end: " + button->text() + ' ' + shimLog::last().hex().join('|')};
        // Whatever the worker still said before its port closed must not show.
        if (!QTest::qWaitFor([] { return shimLog::last().closed; }))
            return {"port left open"};
        QCoreApplication::sendPostedEvents();
        return sending ? answer.boxes : QStringList{"not on the progress page"};
    }

    QString idleState() const
    {
        return QStringLiteral("%1 %2, page %3, %4, progress %5, labels '%6' '%7'")
            .arg(child<QPushButton>("updateButton")->text())
            .arg(child<QPushButton>("updateButton")->isEnabled() ? "enabled" : "disabled")
            .arg(child<QStackedWidget>("infoStackedWidget")->currentWidget()->objectName())
            .arg(child<QStackedWidget>("updateStackedWidget")->currentWidget()->objectName())
            .arg(child<QProgressBar>("progressBar")->value())
            .arg(child<QLabel>("applicationDisplayLabel")->text(), child<QLabel>("fixtureDisplayLabel")->text());
    }
};

QTEST_MAIN(tst_window)
#include "tst_window.moc"
