// The command-line tool as a process over the virtual DMX interfaces, driven
// the ways a terminal, a pipe or a script drives it; its interface list in process.
#include "commands.h"
#include "serialInterfaces.h"
#include "testSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>

class tst_tool : public QObject
{
    Q_OBJECT

private slots:
    void send_data();
    void send();
    void inspect_data();
    void inspect();
    void ports();

private:
    virtualDmxLine lines[2], terminal;
};

void tst_tool::send_data()
{
    // %file: the update file, by the name the tool is given; %1, %2: the
    // interfaces; %link: a link to %1; %sha: the file's SHA-256; %none: "".
    QTest::addColumn<QString>("arguments");
    // Comma-separated: NAME=value in the environment; INT@N or HUP@N once N
    // frames are out on every interface; stdin: the file on standard input;
    // stdout=full or stdout=head (| head -n 2); terminal=N: standard error on a terminal
    // of N columns; held: %1 busy with another update; name=N: the file's name.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // "|"-separated parts; "!part": must not be there
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("frames"); // per interface, " | " apart; "none": not opened

    const QByteArray example("#a\n#V\n#F\n#1\n40 00 FF 10\n# b\n25 7F 80 81\n100 01\n");
    const QString exampleFrames("00 00 ff 10*6/40, 00 7f 80 81/25, 00 01*6/100");
    const QByteArray longHold("0 01\n4000000000 02\n0 03\n");
    const QString ending("\"exitCode\":%1,\"line\":%2,\"lines\":%3,\"message\":\"%4\"");
    QTest::newRow("two ports at once") << "send %file --port %1 --port %2 --json" << "" << example << 0 << "!warning"
        << "\"event\":\"start\",\"file\":\"%file\",\"lines\":8,\"port\":\"%1\",\"sha256\":\"%sha\"|" + ending.arg(0).arg(8).arg(8).arg("Finished!")
        << exampleFrames;
    QTest::newRow("Ctrl-C reaches every port") << "send %file --port %1 --port %2 --json" << "INT@7" << longHold << 130
        << "Ctrl-C: canceling; each update stops once the frame in flight is out; Ctrl-C again stops at once"
        << "\"event\":\"canceled\"," + ending.arg(130).arg(1).arg(3).arg("Canceled!") << "00 01*6, 00 02";
    QTest::newRow("a hangup cancels") << "send %file --port %1" << "HUP@7" << longHold << 130 << "SIGHUP: canceling" << ""
                                      << "00 01*6, 00 02";
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
    QTest::newRow("an empty interface name") << "send %file --port %none" << "" << example << 2 << "--port needs the name" << ""
                                             << "none";
    QTest::newRow("file from a pipe") << "send - --port %1 --json" << "stdin" << example << 0 << ""
                                      << "\"file\":\"-\",\"lines\":8,\"port\":\"%1\",\"sha256\":\"%sha\"" << exampleFrames;
    QTest::newRow("output closed while sending") << "send %file --port %1 --json" << "stdout=head" << QByteArray("20 01\n").repeated(30)
                                                 << 74 << "standard output: Broken pipe" << "" << "00 01*35";
    QTest::newRow("refused file") << "send %file --port %1 --port %2 --json" << "" << "0 01\n" + QByteArray(70000, '1') << 65
        << "Update file line 2 is too long" << "\"event\":\"error\"," + ending.arg(65).arg(0).arg(1).arg("Update file line 2 is too long:%file")
        << "none";
    QTest::newRow("missing file") << "send no-such.fwb --port %1" << "" << QByteArray() << 66
                                  << "Couldn't Open Update file:no-such.fwb\norvana-firmware-tool: no-such.fwb: no such file" << "" << "none";
    QTest::newRow("warnings told, then sent") << "send %file --port %1" << "" << QByteArray("0 01\n0\n") << 0
                                              << "%file:2: warning: packet line without bytes" << "" << "00 01*6, 00*6";
    QTest::newRow("warnings refused with --strict") << "send %file --port %1 --strict" << "" << QByteArray("0 01\n0\n") << 65
                                                    << "%file:2: warning:|--strict refuses the file" << "" << "none";
    const QByteArray slow = QByteArray("#a\n#b\n#c\n#d\n") + QByteArray("#\n").repeated(1496) + QByteArray("300 01\n").repeated(4);
    QTest::newRow("a terminal of 40 columns") << "send %file --port %link" << "terminal=40" << slow << 0
                                              << "1504/1504  finished" << "" << "00 01*6/300, 00 01*3/300";
    QTest::newRow("--json on a terminal") << "send %file --port %1 --json" << "terminal=80" << example << 0 << "!\x1b[" << ""
                                          << exampleFrames;
    QTest::newRow("help to a full disk") << "--help" << "stdout=full" << example << 74 << "No space left on device" << "" << "none";
}

void tst_tool::send()
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
    QVERIFY(QFile::link(lines[0].portPath(), folder.filePath("link")));
    const QString name = setup.section("name=", 1).section(',', 0, 0);
    const QFileInfo file(writeUpdateFile(contents, name.isEmpty() ? QString() : name));
    const auto expand = [&](QString text) {
        return text.replace("%file", file.fileName()).replace("%link", folder.filePath("link"))
            .replace("%sha", QCryptographicHash::hash(contents, QCryptographicHash::Sha256).toHex())
            .replace("%1", lines[0].portPath()).replace("%2", lines[1].portPath());
    };
    QStringList toolArguments;
    for (const QString &argument : arguments.split(' '))
        toolArguments << (argument == "%none" ? QString() : expand(argument));

    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &item : setup.split(',')) {
        if (item.contains('=') && item.startsWith("DMXSHIM"))
            environment.insert(item.section('=', 0, 0), expand(item.section('=', 1)));
    }
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(file.path());
    QProcess head; // "| head -n 2"
    if (setup.contains("stdout=head")) {
        tool.setStandardOutputProcess(&head);
        head.start("head", {"-n", "2"});
    }
    if (setup.contains("stdout=full"))
        tool.setStandardOutputFile("/dev/full");
    const int columns = setup.section("terminal=", 1).section(',', 0, 0).toInt();
    terminal.setColumns(columns);
    const int before = terminal.received().size();
    if (columns > 0)
        tool.setStandardErrorFile(terminal.portPath());
    std::unique_ptr<transferRun> holder;
    if (setup.contains("held")) {
        holder.reset(new transferRun(lines[0].portPath(), writeUpdateFile("0 01\n100000 02\n")));
        holder->start();
        QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
    }

    const int ports = arguments.count("--port");
    const auto session = [&](int port) {
        const QVector<portSession> all = shimLog::sessions();
        for (auto each = all.crbegin(); each != all.crend(); ++each)
            if (each->path == lines[port].portPath() || (port == 0 && each->path == folder.filePath("link")))
                return *each;
        return portSession{"none", false, false, {}};
    };
    tool.start(QStringLiteral(TOOL_PATH), toolArguments);
    if (setup.contains("stdin"))
        tool.write(contents);
    tool.closeWriteChannel();
    const QString signalAt = setup.section('@', 1).section(',', 0, 0);
    if (!signalAt.isEmpty()) {
        QVERIFY(QTest::qWaitFor([&] { return session(0).frames.size() >= signalAt.toInt() && session(ports - 1).frames.size() >= signalAt.toInt(); }));
        ::kill(pid_t(tool.processId()), setup.contains("HUP@") ? SIGHUP : SIGINT);
    }
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    const QByteArray standardOutput = tool.readAllStandardOutput();
    QByteArray standardError = tool.readAllStandardError();
    if (columns > 0) {
        QVERIFY(QTest::qWaitFor([&] { return terminal.received().size() > before && terminal.received().endsWith('\n'); }));
        standardError = terminal.received().mid(before);
        // Every line drawn leaves room for the "^C" a terminal echoes.
        for (const QString &drawn : QString::fromUtf8(standardError).split(QRegularExpression("\x1b\\[\\d*[AJ]|\r|\n")))
            QVERIFY2(drawn.size() <= columns - 3, qPrintable(drawn));
    }
    QVERIFY2(tool.exitCode() == exitCode, standardError.constData());
    for (const QString &part : expand(err).split('|'))
        QVERIFY2(standardError.replace("\r\n", "\n").contains(part.mid(part.startsWith('!')).toUtf8()) != part.startsWith('!'), standardError.constData());
    // One JSON document a line; times vary.
    for (const QByteArray &line : standardOutput.split('\n'))
        QVERIFY2(line.isEmpty() || !arguments.contains("--json") || QJsonDocument::fromJson(line).isObject(), line.constData());
    for (const QString &part : expand(out).split('|', Qt::SkipEmptyParts))
        QVERIFY2(standardOutput.contains(part.toUtf8()), standardOutput.constData());
    for (int port = 0; port < ports && frames != "none"; ++port)
        QCOMPARE(session(port).hex(), expandFrames(frames.split(" | ").value(port, frames.section(" | ", 0, 0)).split(", ", Qt::SkipEmptyParts)));
    if (frames == "none")
        QCOMPARE(session(0).path, QStringLiteral("none"));
}

void tst_tool::inspect_data()
{
    QTest::addColumn<QByteArray>("contents"); // or "/path", or "-" and the contents on standard input
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("exitCode");
    // lines packetLines commentLines frames packetBytes holdTimeMs wireTimeUs [refused] line:kind...; 0s without JSON
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("err");

    const QByteArray example("#a\n#V\n#F\n#1\n40 00 FF 10\n# block\n25 7F 80 81\n100 01\n");
    QTest::newRow("worked example") << example << "--json" << 0 << "8 3 5 13 27 165 174560" << "";
    QTest::newRow("worked example from a pipe") << "-" + example << "--json" << 0 << "8 3 5 13 27 165 174560" << "";
    // Packets of 0, 3, 1 and 513 bytes: 1 + 6 + 6 + 6 frames of 644 us, 3102 bytes of 44 us, 7 ms of hold.
    const QByteArray faults("#a\n#b\n#c\n\n7 1FF  01\r\n0 01\r02\n0" + QByteArray(" 01").repeated(513) + '\n');
    QTest::newRow("every kind of warning") << faults << "--json" << 0
        << "7 4 3 19 3102 7 155724 4:header 4:emptyPacket 5:field 5:field 6:carriageReturn 6:field 7:packetTooLong"
        << ":5: warning: byte 2 is empty";
    // Words on standard error, so that "> /dev/null" leaves what went wrong on screen.
    QTest::newRow("warnings are errors when strict") << faults << "--strict" << 65 << "0 0 0 0 0 0 0"
                                                     << ":4: warning: incomplete header|--strict refuses the file";
    QTest::newRow("no packet line") << QByteArray("#a\n#b\n") << "--json" << 0 << "2 0 2 0 0 0 0 0:noPackets 3:header" << "";
    QTest::newRow("too long") << "0 01\n" + QByteArray(70000, '1') << "--json" << 65 << "1 0 0 0 0 0 0 refused 1:header"
                              << "Update file line 2 is too long";
    QTest::newRow("missing file") << QByteArray() << "--json" << 66 << "0 0 0 0 0 0 0 error" << "no such file";
    QTest::newRow("a folder") << QByteArray("/") << "--json" << 66 << "0 0 0 0 0 0 0 error" << "it is a folder";
    QTest::newRow("JSON to a full disk") << example << "--json>/dev/full" << 74 << "0 0 0 0 0 0 0" << "No space left on device";
}

void tst_tool::inspect()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, option);
    QFETCH(int, exitCode);
    QFETCH(QString, report);
    QFETCH(QString, err);

    QProcess tool;
    QString file = contents.isEmpty() ? QStringLiteral("/nonexistent/update.fwb") : QString::fromLatin1(contents);
    if (!contents.startsWith('/') && !contents.startsWith('-') && !contents.isEmpty())
        file = writeUpdateFile(contents);
    if (option.endsWith(">/dev/full"))
        tool.setStandardOutputFile("/dev/full");
    tool.start(QStringLiteral(TOOL_PATH), {"inspect", file.left(file.startsWith('-') ? 1 : -1), option.section('>', 0, 0)});
    tool.write(contents.mid(1));
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitCode(), exitCode);
    const QJsonObject json = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    QStringList found;
    for (const char *key : {"lines", "packetLines", "commentLines", "frames", "packetBytes", "holdTimeMs", "wireTimeUs"})
        found << QString::number(json[key].toDouble(), 'f', 0);
    for (const char *key : {"refused", "error"})
        if (json[key].isString())
            found << key;
    for (const QJsonValue &warning : json["warnings"].toArray())
        found << QStringLiteral("%1:%2").arg(warning["line"].toInt()).arg(warning["kind"].toString());
    QCOMPARE(found.join(' '), report);
    const QByteArray standardError = tool.readAllStandardError();
    for (const QString &part : err.split('|', Qt::SkipEmptyParts))
        QVERIFY2(standardError.contains(part.toUtf8()), standardError.constData());
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
