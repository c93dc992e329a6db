// The command-line tool as a process over the virtual DMX interfaces, driven
// the ways a terminal, a pipe or a script drives it; its interface list in process.
#include "commands.h"
#include "serialInterfaces.h"
#include "serialPortThread.h"
#include "testSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// How a row runs the tool, beyond its arguments.
struct toolSetup
{
    enum inputKind { closed, pipe, terminal };
    enum outputKind { captured, headTwoLines };

    inputKind input = closed;
    QByteArray piped; // what the pipe carries
    outputKind output = captured;
    int columns = 0; // standard error on a terminal this wide; 0: captured
    int signal = 0, afterFrames = 0; // sent once the tool catches it and so many frames are out on every interface
    bool interfaceHeld = false; // the first interface busy with another update, reached through a link
    QVector<QPair<QByteArray, QString>> environment; // the shim's faults among them

    toolSetup pipedInput(const QByteArray &bytes) const { toolSetup s = *this; s.input = pipe; s.piped = bytes; return s; }
    toolSetup terminalInput() const { toolSetup s = *this; s.input = terminal; return s; }
    toolSetup outputTo(outputKind kind) const { toolSetup s = *this; s.output = kind; return s; }
    toolSetup onTerminal(int width) const { toolSetup s = *this; s.columns = width; return s; }
    toolSetup sending(int number, int frames) const { toolSetup s = *this; s.signal = number; s.afterFrames = frames; return s; }
    toolSetup held() const { toolSetup s = *this; s.interfaceHeld = true; return s; }
    toolSetup with(const QByteArray &name, const QString &value) const { toolSetup s = *this; s.environment.append({name, value}); return s; }
};

struct textParts
{
    QStringList has, lacks = {};
};

using framePlans = QVector<framePlan>; // one per interface; none: no interface opened

// What a row expects of the tool: its exit status, its words, what goes on the wire, its JSON documents (each a
// part of one line of standard output) and its other standard output.
struct toolResult
{
    int exitCode;
    textParts err = {};
    framePlans frames = {};
    QVector<QJsonObject> documents = {};
    textParts out = {};
};

QJsonObject ending(const char *event, const QString &port, int status, int line, int frames)
{
    return {{"event", event}, {"port", port}, {"exitCode", status}, {"line", line}, {"frames", frames}};
}

bool containsAll(const QJsonObject &document, const QJsonObject &part)
{
    for (auto field = part.begin(); field != part.end(); ++field) {
        if (document.value(field.key()) != field.value())
            return false;
    }
    return true;
}

// Whether the process has a handler for the signal: sent earlier it would kill the tool, whatever the tool does.
bool catches(qint64 pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    const QByteArray all = status.readAll(), mask = all.mid(all.indexOf("SigCgt:") + 7).split('\n').first().trimmed();
    return (mask.toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
}

// The tool run to its end with its history under dataHome: its standard output, and its standard error in 'told'.
QByteArray toolOutput(const QStringList &arguments, const QString &dataHome, int &status, QByteArray *told = nullptr)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(TOOL_PATH), arguments);
    status = tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    if (told)
        *told = tool.readAllStandardError();
    return tool.readAllStandardOutput();
}

const QString sha256Of(const QByteArray &contents)
{
    return QString::fromLatin1(QCryptographicHash::hash(contents, QCryptographicHash::Sha256).toHex());
}

} // namespace

Q_DECLARE_METATYPE(toolSetup)
Q_DECLARE_METATYPE(toolResult)

class tst_tool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void fileNamedInAnotherEncoding();
    void failureKinds();
    void ports();
    void history();

private:
    virtualDmxLine lines[4], terminal;
    QTemporaryDir folder;
    QString link; // to the first interface
    QString workFolder; // where the update files are
};

void tst_tool::initTestCase()
{
    // The tool's history, away from the user's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath("data")));
    link = folder.filePath("link");
    QVERIFY(QFile::link(lines[0].portPath(), link));
    workFolder = QFileInfo(writeUpdateFile("")).path();
}

void tst_tool::run_data()
{
    QTest::addColumn<QStringList>("arguments"); // the files named are in the tool's working folder
    QTest::addColumn<toolSetup>("setup");
    QTest::addColumn<toolResult>("expected");

    const QString port1 = lines[0].portPath(), port2 = lines[1].portPath();
    const auto file = [](const QByteArray &contents, const QString &name = QString()) { return QFileInfo(writeUpdateFile(contents, name)).fileName(); };
    const QByteArray example("#a\n#V\n#F\n#1\n40 00 FF 10\n# b\n25 7F 80 81\n100 01\n"), longHold("0 01\n4000000000 02\n0 03\n");
    const framePlan exampleFrames{{"00 00 ff 10", 6, 40}, {"00 7f 80 81", 1, 25}, {"00 01", 6, 100}}, cut{{"00 01", 6}, {"00 02"}};
    const QString examplePath = writeUpdateFile(example), exampleFile = QFileInfo(examplePath).fileName(), sha = sha256Of(example);
    const toolSetup plain;

    QTest::newRow("two ports at once, the expected file")
        << QStringList{"send", exampleFile, "--port", port1, "--port", port2, "--json", "--expect-sha256", sha.toUpper()} << plain
        << toolResult{0, {{"warning: the computer may go to sleep during the update: no system bus"}, {exampleFile + ':'}},
                      {exampleFrames, exampleFrames},
                      {{{"event", "start"}, {"file", exampleFile}, {"lines", 8}, {"port", port1}, {"sha256", sha}, {"sleepInhibited", false}},
                       ending("finished", port2, 0, 8, 13)}};
    // Lines 1 and 2 are out whole when the cancel comes, during line 2's hold.
    QTest::newRow("Ctrl-C reaches every port") << QStringList{"send", file(longHold), "--port", port1, "--port", port2, "--json"}
        << plain.sending(SIGINT, 7)
        << toolResult{130, {{"Ctrl-C: canceling; each update stops once the frame in flight is out; Ctrl-C again stops at once"}},
                      {cut, cut}, {ending("canceled", port1, 130, 2, 7), ending("canceled", port2, 130, 2, 7)}};
    QTest::newRow("a hangup cancels") << QStringList{"send", file(longHold), "--port", port1} << plain.sending(SIGHUP, 7)
                                      << toolResult{130, {{"SIGHUP: canceling"}}, {cut}};
    // Before any interface is opened: the terminal is read for the file, and told how to end it.
    QTest::newRow("SIGTERM while a terminal is read") << QStringList{"send", "-", "--port", port1, "--port", port2, "--json"}
        << plain.terminalInput().onTerminal(200).sending(SIGTERM, 0)
        << toolResult{130, {{"reading the update file from standard input, a terminal; Ctrl-D",
                             "SIGTERM: canceled while the update file was read; no interface was opened"}},
                      {}, {ending("canceled", port1, 130, 0, 0), ending("canceled", port2, 130, 0, 0)}};
    // The highest status wins, and the failure is the last word on screen.
    QTest::newRow("one port unplugged, one finishing") << QStringList{"send", file("0 01\n0 02\n"), "--port", port1, "--port", port2}
        << plain.with("DMXSHIM_UNPLUG_AFTER", "3").with("DMXSHIM_FAULTY", port1)
        << toolResult{1, {{port2 + ": Finished!\n" + port1 + ": Serialport Error: ResourceError: Device Unavailable\n"}}, {{{"00 01", 3}}, cut}};
    // Reached through a link, where the library's own lock cannot tell.
    QTest::newRow("interface held by another update") << QStringList{"send", exampleFile, "--port", link} << plain.held()
        << toolResult{69, {{link + ": Serialport Error: PermissionError\n    another program holds the interface"}}, {framePlan()}};
    QTest::newRow("interfaces missing or not serial") << QStringList{"send", exampleFile, "--port", "ttyNoSuchInterface", "--port", examplePath}
        << plain << toolResult{69, {{"Serialport Error: DeviceNotFoundError\n    no interface at /dev/ttyNoSuchInterface",
                                     examplePath + ": not a serial interface"}, {"Error: Unsupported", "Error: Unknown"}}};
    // A set-up failure is the interface's, whatever the file is called.
    QTest::newRow("DTR refused, file named Ready") << QStringList{"send", file(example, "Ready"), "--port", port1}
        << plain.with("DMXSHIM_NO_DTR", "1") << toolResult{69, {{"Unable to set DataTerminalReady"}}, {framePlan()}};
    QTest::newRow("one interface named twice") << QStringList{"send", exampleFile, "--port", port1, "--port", link} << plain
                                               << toolResult{2, {{"send: " + port1 + " and " + link + " are the same interface"}}};
    QTest::newRow("a usage error as JSON") << QStringList{"send", exampleFile, "--json"} << plain
        << toolResult{2, {{"send: no --port given"}}, {}, {{{"error", "send: no --port given"}, {"exitCode", 2}}}};
    // Read once into a copy: a second read of the pipe would find nothing.
    QTest::newRow("file from /dev/stdin") << QStringList{"send", "/dev/stdin", "--port", port1, "--json"} << plain.pipedInput(example)
        << toolResult{0, {}, {exampleFrames}, {{{"event", "start"}, {"file", "/dev/stdin"}, {"lines", 8}, {"sha256", sha}}}};
    QTest::newRow("nothing to send") << QStringList{"send", "-", "--port", port1, "--json"} << plain.pipedInput("")
        << toolResult{65, {{"Update file has no packet line, nothing to send:-"}}, {}, {ending("error", port1, 65, 0, 0)}};
    const QString otherSha(64, '0');
    QTest::newRow("another file than expected") << QStringList{"send", exampleFile, "--port", port1, "--expect-sha256", otherSha} << plain
                                                << toolResult{65, {{"SHA-256 is " + sha + ", not the expected " + otherSha}}};
    QTest::newRow("output closed while sending") << QStringList{"send", file(QByteArray("20 01\n").repeated(30)), "--port", port1, "--json"}
        << plain.outputTo(toolSetup::headTwoLines) << toolResult{74, {{"standard output: Broken pipe"}}, {{{"00 01", 35}}}};
    QTest::newRow("refused file") << QStringList{"send", file("0 01\n" + QByteArray(70000, '1')), "--port", port1, "--port", port2, "--json"}
        << plain << toolResult{65, {{"Update file line 2 is too long"}}, {}, {ending("error", port1, 65, 0, 0), ending("error", port2, 65, 0, 0)}};
    QTest::newRow("missing file") << QStringList{"send", "no-such.fwb", "--port", port1} << plain
        << toolResult{66, {{"Couldn't Open Update file:no-such.fwb\norvana-firmware-tool: no-such.fwb: no such file"}}};
    const QString warned = file("0 01\n0\n");
    QTest::newRow("warnings told, then sent") << QStringList{"send", warned, "--port", port1} << plain
        << toolResult{0, {{warned + ":2: warning: packet line without bytes"}}, {{{"00 01", 6}, {"00", 6}}}};
    const QByteArray slow = QByteArray("#a\n#b\n#c\n#d\n") + QByteArray("#\n").repeated(1496) + QByteArray("300 01\n").repeated(4);
    QTest::newRow("a terminal of 25 columns") << QStringList{"send", file(slow), "--port", link} << plain.onTerminal(25)
                                              << toolResult{0, {{"link finished"}}, {{{"00 01", 6, 300}, {"00 01", 3, 300}}}};
    QTest::newRow("--json on a terminal") << QStringList{"send", exampleFile, "--port", port1, "--json"} << plain.onTerminal(80)
                                          << toolResult{0, {{"finished"}, {"\x1b["}}, {exampleFrames}};

    QTest::newRow("inspect a pipe") << QStringList{"inspect", "-", "--json"} << plain.pipedInput(example)
        << toolResult{0, {}, {}, {{{"commentLines", 5}, {"frames", 13}, {"holdTimeMs", 165}, {"lines", 8}, {"packetBytes", 27}, {"packetLines", 3},
                                   {"refused", QJsonValue()}, {"sha256", sha}, {"warningCount", 0}, {"wireTimeUs", 174560}, {"exitCode", 0}}}};
    // Words on standard error, so that "> /dev/null" leaves what went wrong on screen.
    const QString faults = file("#a\n#b\n#c\n\n7 1FF  01\r\n0 01\r02\n0" + QByteArray(" 01").repeated(513) + '\n');
    QTest::newRow("warnings are errors when strict") << QStringList{"inspect", faults, "--strict"} << plain
        << toolResult{65, {{faults + ":4: warning: incomplete header", "--strict refuses the file"}}, {}, {},
                      {{"Lines:        7 (4 packet lines, 3 comment lines)"}}};
    // A file cannot drive the terminal, neither through its header nor through a warning.
    const QString escapes = file("#\x1b]0;PWNED\x07\n#b\n#c\n#d\n0 \x1b[2J\n");
    QTest::newRow("escape sequences in a file") << QStringList{"inspect", escapes} << plain
        << toolResult{0, {{escapes + ":5: warning: byte 1 \"\\x1b[2J\" is not"}}, {}, {}, {{"Application:  \\x1b]0;PWNED\\x07 d"}}};
    QTest::newRow("inspect a missing file") << QStringList{"inspect", "no-such.fwb", "--json"} << plain
        << toolResult{66, {{"no such file"}}, {}, {{{"error", "Couldn't Open Update file:no-such.fwb"}, {"exitCode", 66}, {"file", "no-such.fwb"}}}};
}

void tst_tool::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(toolSetup, setup);
    QFETCH(toolResult, expected);
    const framePlans &frames = expected.frames;

    shimLog::clear();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &variable : std::as_const(setup.environment))
        environment.insert(QString::fromLatin1(variable.first), variable.second);
    QProcess tool, head; // head: "| head -n 2"
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(workFolder);
    if (setup.output == toolSetup::headTwoLines) {
        tool.setStandardOutputProcess(&head);
        head.start("head", {"-n", "2"});
    }
    const int before = terminal.received().size();
    terminal.setColumns(setup.columns);
    if (setup.columns > 0)
        tool.setStandardErrorFile(terminal.portPath());
    if (setup.input == toolSetup::terminal)
        tool.setStandardInputFile(terminal.portPath());
    std::unique_ptr<transferRun> holder;
    if (setup.interfaceHeld) {
        holder.reset(new transferRun(lines[0].portPath(), writeUpdateFile("0 01\n100000 02\n")));
        holder->start();
        QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
    }
    // The last time the tool opened the interface.
    const auto session = [&](int port) {
        const QVector<portSession> all = shimLog::sessions();
        for (auto each = all.crbegin(); each != all.crend(); ++each)
            if ((each->path == lines[port].portPath() && !setup.interfaceHeld) || (port == 0 && each->path == link))
                return *each;
        return portSession{"none", false, false, {}};
    };
    tool.start(QStringLiteral(TOOL_PATH), arguments);
    QVERIFY(tool.waitForStarted()); // the test's own handlers are gone
    if (setup.input != toolSetup::terminal) {
        tool.write(setup.piped);
        tool.closeWriteChannel();
    }
    if (setup.signal != 0) {
        QVERIFY(QTest::qWaitFor([&] {
            for (int port = 0; port < frames.size(); ++port)
                if (session(port).frames.size() < setup.afterFrames)
                    return false;
            return catches(tool.processId(), setup.signal);
        }));
        ::kill(pid_t(tool.processId()), setup.signal);
    }
    QVERIFY(tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit);
    QByteArray standardError = tool.readAllStandardError();
    if (setup.columns > 0) {
        // The tool has ended, but the pty may still hold its last words: wait for those the row expects.
        QVERIFY(QTest::qWaitFor([&] {
            const QByteArray told = terminal.received().mid(before).replace("\r\n", "\n");
            return std::all_of(expected.err.has.cbegin(), expected.err.has.cend(), [&](const QString &part) { return told.contains(part.toUtf8()); });
        }));
        standardError = terminal.received().mid(before).replace("\r\n", "\n");
        // Every progress line drawn leaves room for the "^C" a terminal echoes; messages may wrap.
        for (const QString &drawn : QString::fromUtf8(standardError).split(QRegularExpression("\x1b\\[\\d*[AJ]|\r|\n")))
            QVERIFY2(drawn.size() <= setup.columns - 3 || drawn.startsWith("orvana-firmware-tool: "), qPrintable(drawn));
    }
    QVERIFY2(tool.exitCode() == expected.exitCode, standardError.constData());
    const QByteArray standardOutput = tool.readAllStandardOutput();
    // Nothing from a file reaches a terminal raw: the only control characters are the tool's own.
    QVERIFY2(!QRegularExpression("[\\x00-\\x09\\x0b-\\x1f]").match(standardOutput + (setup.columns ? "" : standardError)).hasMatch(),
             standardError.constData());
    for (const auto &stream : {qMakePair(standardError, expected.err), qMakePair(standardOutput, expected.out)}) {
        for (const QString &part : stream.second.has)
            QVERIFY2(stream.first.contains(part.toUtf8()), stream.first.constData());
        for (const QString &part : stream.second.lacks)
            QVERIFY2(!stream.first.contains(part.toUtf8()), stream.first.constData());
    }
    // One JSON document a line, whatever happened.
    QVector<QJsonObject> documents;
    for (const QByteArray &line : standardOutput.split('\n')) {
        if (!line.isEmpty() && arguments.contains("--json"))
            QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());
        documents << QJsonDocument::fromJson(line).object();
    }
    for (const QJsonObject &event : std::as_const(expected.documents))
        QVERIFY2(std::any_of(documents.begin(), documents.end(), [&](const QJsonObject &document) { return containsAll(document, event); }),
                 QJsonDocument(event).toJson(QJsonDocument::Compact) + "\nnot in\n" + standardOutput);
    for (int port = 0; port < frames.size(); ++port)
        QCOMPARE(session(port).hex(), expandFrames(frames.at(port)));
    if (frames.isEmpty())
        QCOMPARE(session(0).path, QStringLiteral("none"));
}

// A name that the locale's encoding cannot spell is still the file the user means.
void tst_tool::fileNamedInAnotherEncoding()
{
    shimLog::clear();
    const QByteArray path = QFile::encodeName(writeUpdateFile("0 01\n"));
    QVERIFY(::rename(path.constData(), QFile::encodeName(workFolder) + "/caf\xe9.fwb") == 0);
    QProcess tool;
    tool.setWorkingDirectory(workFolder);
    // Through a shell: QProcess would spell the argument in the locale's encoding.
    tool.start("/bin/sh", {"-c", "exec \"$0\" send \"$(printf 'caf\\351.fwb')\" --port \"$1\" --json", TOOL_PATH, lines[0].portPath()});
    QVERIFY(tool.waitForFinished(20000));
    const QByteArray standardOutput = tool.readAllStandardOutput();
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QVERIFY2(standardOutput.contains("\"file\":\"caf\\\\xe9.fwb\""), standardOutput.constData());
    QCOMPARE(shimLog::last().hex(), expandFrames({{"00 01", 6}}));
}

// Reached only where the file changes between the tool's check and the worker's: swapped, they would fail no run.
void tst_tool::failureKinds()
{
    QVector<int> statuses;
    for (int kind = serialPortThread::interfaceFailed; kind <= serialPortThread::interfaceCannotBreak; ++kind)
        statuses << exitCodeForFailure(kind);
    QCOMPARE(statuses, (QVector<int>{exitCode::interfaceUnavailable, exitCode::fileUnreadable, exitCode::fileRefused, exitCode::transferFailed,
                                     exitCode::interfaceUnavailable}));
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

// Every update is recorded, one whole record per interface and run, and an update goes ahead where it cannot be.
void tst_tool::history()
{
    const QString example = writeUpdateFile("#a\n#V\n#F\n#1\n40 00 FF 10\n# b\n25 7F 80 81\n100 01\n"), port1 = lines[0].portPath();
    QTemporaryDir homes;
    int status = 0;
    QStringList fourAtOnce{"send", example}, expected;
    for (const virtualDmxLine &line : lines) {
        fourAtOnce << "--port" << line.portPath();
        expected << line.portPath() + " finished 8 13";
    }
    toolOutput(fourAtOnce, homes.filePath("four"), status);
    QCOMPARE(status, 0);
    QStringList recorded;
    for (const QByteArray &line : toolOutput({"history", "--json"}, homes.filePath("four"), status).split('\n')) {
        const QJsonObject run = QJsonDocument::fromJson(line).object();
        if (!line.isEmpty())
            recorded << QStringLiteral("%1 %2 %3 %4").arg(run["interface"]["portName"].toString(), run["ending"].toString())
                            .arg(run["line"].toInt()).arg(run["frames"].toInt());
    }
    recorded.sort();
    expected.sort();
    QCOMPARE(recorded, expected);
    QFile journal(homes.filePath("four/orvana-firmware-updater/history.jsonl"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    for (const QByteArray &line : journal.readAll().trimmed().split('\n'))
        QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());

    // Killed in a hold of 46 days once a checkpoint is on the disk: interrupted, with no more than went out.
    shimLog::clear();
    QProcess killed;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", homes.filePath("killed"));
    killed.setProcessEnvironment(environment);
    killed.start(QStringLiteral(TOOL_PATH), {"send", writeUpdateFile("0 01\n4000000000 02\n0 03\n"), "--port", port1});
    QVERIFY(QTest::qWaitFor([&] {
        QFile checkpoints(homes.filePath("killed/orvana-firmware-updater/history.jsonl"));
        return checkpoints.open(QIODevice::ReadOnly) && checkpoints.readAll().contains("\"progress\"");
    }, 10000));
    ::kill(pid_t(killed.processId()), SIGKILL);
    QVERIFY(killed.waitForFinished());
    const QJsonObject run = QJsonDocument::fromJson(toolOutput({"history", "--json", "--port", port1}, homes.filePath("killed"), status)).object();
    QCOMPARE(run["ending"].toString(), QStringLiteral("interrupted"));
    QCOMPARE(run["line"].toInt(), 2);
    QCOMPARE(run["frames"].toInt(), shimLog::last().frames.size());
    // Through a link to the same interface, all the same.
    QByteArray told;
    toolOutput({"send", example, "--port", link}, homes.filePath("killed"), status, &told);
    QVERIFY2(status == 0 && told.contains(link.toUtf8() + ": an earlier update was interrupted: "), told.constData());

    // A folder where the journal would be.
    QVERIFY(QDir().mkpath(homes.filePath("blocked/orvana-firmware-updater/history.jsonl")));
    toolOutput({"send", example, "--port", port1, "--port", lines[1].portPath()}, homes.filePath("blocked"), status, &told);
    QCOMPARE(status, 0);
    QCOMPARE(told.count("warning: this update will not be recorded in the history: "), 1);
    QCOMPARE(shimLog::last().frames.size(), 13);
    toolOutput({"history"}, homes.filePath("blocked"), status);
    QCOMPARE(status, int(exitCode::fileUnreadable));

    // An adapter unplugged since: looked up by the name it had.
    QVERIFY(QDir().mkpath(homes.filePath("unplugged/orvana-firmware-updater")));
    QFile unplugged(homes.filePath("unplugged/orvana-firmware-updater/history.jsonl"));
    QVERIFY(unplugged.open(QIODevice::WriteOnly));
    unplugged.write(R"({"record":"start","run":"r1","time":"2026-12-07T10:00:00.000Z","program":"orvana-firmware-tool","pid":1,)"
                    R"("interface":{"portName":"/dev/ttyUSB97","serialNumber":"FT97","manufacturer":"FTDI"},"file":{},"lines":3})" "\n");
    unplugged.close();
    const QJsonObject gone = QJsonDocument::fromJson(toolOutput({"history", "--json", "--port", "/dev/ttyUSB97"}, homes.filePath("unplugged"), status)).object();
    QCOMPARE(gone["interface"]["serialNumber"].toString(), QStringLiteral("FT97"));
}

QTEST_GUILESS_MAIN(tst_tool)
#include "tst_tool.moc"
