// The command-line tool as a process over the virtual DMX interfaces, driven
// the ways a terminal, a pipe or a script drives it; its interface list in process.
#include "commands.h"
#include "serialInterfaces.h"
#include "testSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// Until the table has typed columns: "hex[*times][/holdMs], ..." as a plan.
framePlan parsePlan(const QString &text)
{
    framePlan plan;
    for (const QString &item : text.split(", ", Qt::SkipEmptyParts)) {
        const QStringList hold = item.split('/'), times = hold.first().split('*');
        plan.append({times.first().toLatin1(), times.value(1, "1").toInt(), hold.value(1, "0").toInt()});
    }
    return plan;
}

} // namespace

class tst_tool : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void ports();

private:
    virtualDmxLine lines[2], terminal;
};

void tst_tool::run_data()
{
    // %file: the update file, by its name; %1, %2: the interfaces; %link: a
    // link to %1; %sha: the file's SHA-256; %none: an empty argument.
    QTest::addColumn<QString>("arguments");
    // Comma-separated: NAME=value in the environment; INT@N or HUP@N once N frames are out on every interface;
    // stdin: the file on standard input, through a pipe; stdout=full or stdout=head (| head -n 2); terminal=N:
    // standard error on a terminal of N columns; held: %1 busy with another update; name=N: the file's name.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // "|"-separated parts; "!part": must not be there
    QTest::addColumn<QString>("out"); // "|"-separated parts; JSON without its warnings' messages
    QTest::addColumn<QString>("frames"); // per interface, " | " apart; "none": not opened

    const QByteArray example("#a\n#V\n#F\n#1\n40 00 FF 10\n# b\n25 7F 80 81\n100 01\n");
    const QString exampleFrames("00 00 ff 10*6/40, 00 7f 80 81/25, 00 01*6/100");
    const QByteArray longHold("0 01\n4000000000 02\n0 03\n");
    const QString ending("\"exitCode\":%1,\"line\":%2,\"lines\":%3,\"message\":\"%4\"");
    const QString exampleReport("\"commentLines\":5,|\"frames\":13,|\"holdTimeMs\":165,\"lines\":8,\"packetBytes\":27,\"packetLines\":3,"
                                "\"refused\":null,\"sha256\":\"%sha\",\"warningCount\":0,\"warnings\":[],\"wireTimeUs\":174560}");
    QTest::newRow("two ports at once") << "send %file --port %1 --port %2 --json" << "" << example << 0 << "!warning"
        << "\"event\":\"start\",\"file\":\"%file\",\"lines\":8,\"port\":\"%1\",\"sha256\":\"%sha\"|" + ending.arg(0).arg(8).arg(8).arg("Finished!")
        << exampleFrames;
    QTest::newRow("Ctrl-C reaches every port") << "send %file --port %1 --port %2 --json" << "INT@7" << longHold << 130
        << "Ctrl-C: canceling; each update stops once the frame in flight is out; Ctrl-C again stops at once"
        << "\"event\":\"canceled\"," + ending.arg(130).arg(1).arg(3).arg("Canceled!") << "00 01*6, 00 02";
    QTest::newRow("a hangup cancels") << "send %file --port %1" << "HUP@7" << longHold << 130 << "SIGHUP: canceling" << "" << "00 01*6, 00 02";
    // The highest status wins, and the failure is the last word on screen.
    QTest::newRow("one port unplugged, one finishing") << "send %file --port %1 --port %2" << "DMXSHIM_UNPLUG_AFTER=3,DMXSHIM_FAULTY=%1"
        << QByteArray("0 01\n0 02\n") << 1 << "%2: Finished!\n%1: Serialport Error: ResourceError: Device Unavailable\n" << ""
        << "00 01*3 | 00 01*6, 00 02";
    // Reached through a link, where the library's own lock cannot tell.
    QTest::newRow("interface held by another update") << "send %file --port %link" << "held" << example << 69
        << "%link: Serialport Error: PermissionError\n    another program holds the interface" << "" << "";
    QTest::newRow("interface missing") << "send %file --port ttyNoSuchInterface" << "" << example << 69
        << "Serialport Error: DeviceNotFoundError\n    'orvana-firmware-tool ports' lists" << "" << "";
    // A set-up failure is the interface's, whatever the file is called.
    QTest::newRow("DTR refused, file named Ready") << "send %file --port %1" << "DMXSHIM_NO_DTR=1,name=Ready" << example << 69
        << "Unable to set DataTerminalReady" << "" << "";
    QTest::newRow("one interface named twice") << "send %file --port %1 --port %link" << "" << example << 2
        << "send: %1 and %link are the same interface" << "" << "none";
    QTest::newRow("an empty interface name") << "send %file --port %none" << "" << example << 2 << "--port needs the name" << "" << "none";
    QTest::newRow("file from a pipe") << "send - --port %1 --json" << "stdin" << example << 0 << ""
                                      << "\"file\":\"-\",\"lines\":8,\"port\":\"%1\",\"sha256\":\"%sha\"" << exampleFrames;
    QTest::newRow("output closed while sending") << "send %file --port %1 --json" << "stdout=head" << QByteArray("20 01\n").repeated(30)
                                                 << 74 << "standard output: Broken pipe" << "" << "00 01*35";
    QTest::newRow("refused file") << "send %file --port %1 --port %2 --json" << "" << "0 01\n" + QByteArray(70000, '1') << 65
        << "Update file line 2 is too long" << "\"event\":\"error\"," + ending.arg(65).arg(0).arg(1).arg("Update file line 2 is too long:%file")
        << "none";
    QTest::newRow("missing file") << "send no-such.fwb --port %1" << "" << QByteArray() << 66
                                  << "Couldn't Open Update file:no-such.fwb\norvana-firmware-tool: no-such.fwb: no such file" << "" << "none";
    const QByteArray warned("0 01\n0\n");
    QTest::newRow("warnings told, then sent") << "send %file --port %1" << "" << warned << 0 << "%file:2: warning: packet line without bytes"
                                              << "" << "00 01*6, 00*6";
    QTest::newRow("warnings refused with --strict") << "send %file --port %1 --strict" << "" << warned << 65
                                                    << "%file:2: warning:|--strict refuses the file" << "" << "none";
    const QByteArray slow = QByteArray("#a\n#b\n#c\n#d\n") + QByteArray("#\n").repeated(1496) + QByteArray("300 01\n").repeated(4);
    QTest::newRow("a terminal of 40 columns") << "send %file --port %link" << "terminal=40" << slow << 0 << "1504/1504  finished" << ""
                                              << "00 01*6/300, 00 01*3/300";
    QTest::newRow("--json on a terminal") << "send %file --port %1 --json" << "terminal=80" << example << 0 << "!\x1b[" << "" << exampleFrames;
    QTest::newRow("help to a full disk") << "--help" << "stdout=full" << example << 74 << "No space left on device" << "" << "none";

    QTest::newRow("inspect") << "inspect %file --json" << "" << example << 0 << "" << exampleReport << "none";
    QTest::newRow("inspect a pipe") << "inspect - --json" << "stdin" << example << 0 << "" << exampleReport << "none";
    const QByteArray faults("#a\n#b\n#c\n\n7 1FF  01\r\n0 01\r02\n0" + QByteArray(" 01").repeated(513) + '\n');
    // Words on standard error, so that "> /dev/null" leaves what went wrong on screen.
    QTest::newRow("warnings are errors when strict") << "inspect %file --strict" << "" << faults << 65
        << "%file:4: warning: incomplete header|--strict refuses the file" << "Lines:        7 (4 packet lines, 3 comment lines)|!warning"
        << "none";
    QTest::newRow("too long") << "inspect %file --json" << "" << "0 01\n" + QByteArray(70000, '1') << 65 << "line 2 is too long"
                              << "\"exitCode\":65,|\"lines\":1,|\"refused\":\"Update file line 2 is too long:%file\"" << "none";
    QTest::newRow("inspect a missing file") << "inspect no-such.fwb --json" << "" << QByteArray() << 66 << "no such file"
                                            << "{\"error\":\"Couldn't Open Update file:no-such.fwb\",\"exitCode\":66," << "none";
    QTest::newRow("inspect a folder") << "inspect / --json" << "" << QByteArray() << 66 << "/: it is a folder" << "\"exitCode\":66" << "none";
    QTest::newRow("inspect to a full disk") << "inspect %file --json" << "stdout=full" << example << 74 << "No space left" << "" << "none";
}

void tst_tool::run()
{
    QFETCH(QString, arguments);
    QFETCH(QString, setup);
    QFETCH(QByteArray, contents);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);
    QFETCH(QString, frames);

    shimLog::clear();
    QTemporaryDir folder;
    const QString link = folder.filePath("link");
    QVERIFY(QFile::link(lines[0].portPath(), link));
    const QFileInfo file(writeUpdateFile(contents, setup.section("name=", 1).section(',', 0, 0)));
    const auto expand = [&](QString text) {
        return text.replace("%file", file.fileName()).replace("%link", link).replace("%1", lines[0].portPath())
            .replace("%2", lines[1].portPath()).replace("%sha", QCryptographicHash::hash(contents, QCryptographicHash::Sha256).toHex());
    };
    QStringList toolArguments;
    for (const QString &argument : arguments.split(' '))
        toolArguments << (argument == "%none" ? QString() : expand(argument));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &item : setup.split(',', Qt::SkipEmptyParts))
        environment.insert(item.section('=', 0, 0), expand(item.section('=', 1))); // the shim's faults among them

    QProcess tool, head; // head: "| head -n 2"
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(file.path());
    if (setup.contains("stdout=head")) {
        tool.setStandardOutputProcess(&head);
        head.start("head", {"-n", "2"});
    }
    if (setup.contains("stdout=full"))
        tool.setStandardOutputFile("/dev/full");
    const int columns = setup.section("terminal=", 1).section(',', 0, 0).toInt(), before = terminal.received().size();
    terminal.setColumns(columns);
    if (columns > 0)
        tool.setStandardErrorFile(terminal.portPath());
    std::unique_ptr<transferRun> holder;
    if (setup.contains("held")) {
        holder.reset(new transferRun(lines[0].portPath(), writeUpdateFile("0 01\n100000 02\n")));
        holder->start();
        QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
    }
    // The last time the tool opened the interface.
    const auto session = [&](int port) {
        const QVector<portSession> all = shimLog::sessions();
        for (auto each = all.crbegin(); each != all.crend(); ++each)
            if ((each->path == lines[port].portPath() && !setup.contains("held")) || (port == 0 && each->path == link))
                return *each;
        return portSession{"none", false, false, {}};
    };
    const int ports = arguments.count("--port");
    tool.start(QStringLiteral(TOOL_PATH), toolArguments);
    tool.write(setup.contains("stdin") ? contents : QByteArray());
    tool.closeWriteChannel();
    const int signalAt = setup.section('@', 1).section(',', 0, 0).toInt();
    if (signalAt > 0) {
        QVERIFY(QTest::qWaitFor([&] { return session(0).frames.size() >= signalAt && session(ports - 1).frames.size() >= signalAt; }));
        ::kill(pid_t(tool.processId()), setup.contains("HUP@") ? SIGHUP : SIGINT);
    }
    QVERIFY(tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit);
    QByteArray standardError = tool.readAllStandardError();
    if (columns > 0) {
        QVERIFY(QTest::qWaitFor([&] { return terminal.received().size() > before && terminal.received().endsWith('\n'); }));
        standardError = terminal.received().mid(before).replace("\r\n", "\n");
        // Every line drawn leaves room for the "^C" a terminal echoes.
        for (const QString &drawn : QString::fromUtf8(standardError).split(QRegularExpression("\x1b\\[\\d*[AJ]|\r|\n")))
            QVERIFY2(drawn.size() <= columns - 3, qPrintable(drawn));
    }
    QVERIFY2(tool.exitCode() == exitCode, standardError.constData());
    for (const QString &part : expand(err).split('|', Qt::SkipEmptyParts))
        QVERIFY2(standardError.contains(part.mid(part.startsWith('!')).toUtf8()) != part.startsWith('!'), standardError.constData());
    // One JSON document a line, whatever happened.
    QString standardOutput = QString::fromUtf8(tool.readAllStandardOutput());
    for (const QString &line : standardOutput.split('\n', Qt::SkipEmptyParts))
        QVERIFY2(!arguments.contains("--json") || QJsonDocument::fromJson(line.toUtf8()).isObject(), qPrintable(line));
    standardOutput.remove(QRegularExpression(",\"message\":\"(\\\\.|[^\"\\\\])*\"(?=})"));
    for (const QString &part : expand(out).split('|', Qt::SkipEmptyParts))
        QVERIFY2(standardOutput.contains(part.mid(part.startsWith('!'))) != part.startsWith('!'), qPrintable(standardOutput));
    for (int port = 0; port < ports && frames != "none"; ++port)
        QCOMPARE(session(port).hex(), expandFrames(parsePlan(frames.split(" | ").value(port, frames.section(" | ", 0, 0)))));
    if (frames == "none")
        QCOMPARE(session(0).path, QStringLiteral("none"));
}

void tst_tool::ports()
{
    setSerialPortLister([] {
        return QList<serialPortDescription>{{"ttyUSB0", "", "FTDI", "A1", ""}, {"ttyS0", "", "", "", ""},
                                            {"ttyUSB1", "", "Silicon Labs", "0001", ""}};
    });
    QStringList entries;
    for (const QJsonValue &entry : interfaceList(true))
        entries << entry["portName"].toString() + '=' + entry["label"].toString();
    // As in the window's menu: the port listed last on top, our own adapters marked; then the rest.
    QCOMPARE(entries, (QStringList{"ttyUSB1=Silicon Labs 0001(Vantor2)", "ttyUSB0=FTDI A1", "ttyS0="}));
    QCOMPARE(interfaceList(false).size(), 2);
    setSerialPortLister(nullptr);
}

QTEST_GUILESS_MAIN(tst_tool)
#include "tst_tool.moc"
