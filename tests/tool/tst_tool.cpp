// The command-line tool as a process over the virtual DMX interface; its interface list in process.
#include "portsCommand.h"
#include "serialInterfaces.h"
#include "testSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

struct toolRun { int exitCode = -1; QByteArray out, err; };

// fault: "interrupt=N" sends SIGINT once N frames are out; else a shim setting, "name=value".
static toolRun runTool(const QStringList &arguments, const QByteArray &fault = "none=")
{
    const QList<QByteArray> setting = fault.split('=');
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(setting.at(0)), QString::fromLatin1(setting.at(1)));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(TOOL_PATH), arguments);
    if (setting[0] == "interrupt" && QTest::qWaitFor([&] { return shimLog::last().frames.size() >= setting[1].toInt(); }))
        ::kill(pid_t(tool.processId()), SIGINT);
    tool.waitForFinished(20000);
    const int exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return {exitCode, tool.readAllStandardOutput(), tool.readAllStandardError()};
}

class tst_tool : public QObject
{
    Q_OBJECT

private slots:
    void send_data()
    {
        QTest::addColumn<int>("ports");
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("ending"); // event and the start of its message
        QTest::addColumn<QStringList>("frames");

        QTest::newRow("two ports at once") << 2 << QByteArray("none=") << QByteArray("#\n40 00 FF 10\n25 7F 80 81\n100 01\n")
            << 0 << "finished Finished!" << QStringList{"00 00 ff 10*6/40", "00 7f 80 81/25", "00 01*6/100"};
        // The packet line in flight goes out whole; its hold is cut short.
        QTest::newRow("Ctrl-C in a long hold") << 1 << QByteArray("interrupt=7") << QByteArray("0 01\n4000000000 02\n0 03\n")
            << 130 << "canceled Canceled!" << QStringList{"00 01*6", "00 02"};
        QTest::newRow("adapter unplugged") << 1 << QByteArray("DMXSHIM_UNPLUG_AFTER=3") << QByteArray("0 01\n0 02\n")
            << 1 << "error Serialport Error: ResourceError: Device Unavailable" << QStringList{"00 01*3"};
        QTest::newRow("refused file, no port opened") << 2 << QByteArray("none=") << "0 01\n" + QByteArray(70000, '1')
            << 65 << "error Update file line 2 is too long:" << QStringList{};
    }

    void send()
    {
        QFETCH(int, ports);
        QFETCH(QByteArray, fault);
        QFETCH(QByteArray, contents);
        QFETCH(int, exitCode);
        QFETCH(QString, ending);
        QFETCH(QStringList, frames);

        shimLog::clear();
        virtualDmxLine lines[2];
        QStringList arguments{"send", writeUpdateFile(contents), "--json"};
        for (int index = 0; index < ports; ++index)
            arguments << "--port" << lines[index].portPath();
        const toolRun run = runTool(arguments, fault);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(ending.section(' ', 1).toUtf8()), run.err.constData());
        // One ending event for each port; a JSON object's keys come in order.
        const QString event = QStringLiteral("{\"event\":\"%1\",\"message\":\"%2")
                                  .arg(ending.section(' ', 0, 0), ending.section(' ', 1));
        QCOMPARE(run.out.count(event.toUtf8()), ports);
        QCOMPARE(shimLog::sessions().size(), exitCode == 65 ? 0 : ports);
        for (const portSession &session : shimLog::sessions())
            QCOMPARE(session.hex(), expandFrames(frames));
    }

    void inspect_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("exitCode");
        // lines packetLines commentLines frames packetBytes holdTimeMs wireTimeUs [refused] line:kind...; 0s without JSON
        QTest::addColumn<QString>("report");

        QTest::newRow("worked example") << QByteArray("#a\n#V\n#F\n#1\n40 00 FF 10\n# block\n25 7F 80 81\n100 01\n")
                                        << "--json" << 0 << "8 3 5 13 27 165 174560";
        // Packets of 0, 3, 1 and 513 bytes: 1 + 6 + 6 + 6 frames of 644 us, 3102 bytes of 44 us, 7 ms of hold.
        const QByteArray faults("#a\n#b\n#c\n\n7 1FF  01\r\n0 01\r02\n0" + QByteArray(" 01").repeated(513) + '\n');
        QTest::newRow("every kind of warning") << faults << "--json" << 0
            << "7 4 3 19 3102 7 155724 4:header 4:emptyPacket 5:field 5:field 6:carriageReturn 6:field 7:packetTooLong";
        QTest::newRow("warnings are errors when strict") << faults << "--strict" << 65 << "0 0 0 0 0 0 0";
        QTest::newRow("too long") << "0 01\n" + QByteArray(70000, '1') << "--json" << 65 << "1 0 0 0 0 0 0 refused 1:header";
        QTest::newRow("missing file") << QByteArray() << "--json" << 66 << "0 0 0 0 0 0 0";
    }

    void inspect()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, option);
        QFETCH(int, exitCode);
        QFETCH(QString, report);

        const QString file = contents.isEmpty() ? QStringLiteral("/nonexistent/update.fwb") : writeUpdateFile(contents);
        const toolRun run = runTool({"inspect", file, option});
        QCOMPARE(run.exitCode, exitCode);
        const QJsonObject json = QJsonDocument::fromJson(run.out).object();
        QStringList found;
        for (const char *key : {"lines", "packetLines", "commentLines", "frames", "packetBytes", "holdTimeMs", "wireTimeUs"})
            found << QString::number(json[key].toDouble(), 'f', 0);
        if (json["refused"].isString())
            found << "refused";
        for (const QJsonValue &warning : json["warnings"].toArray())
            found << QStringLiteral("%1:%2").arg(warning["line"].toInt()).arg(warning["kind"].toString());
        QCOMPARE(found.join(' '), report);
    }

    void ports()
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
};

QTEST_GUILESS_MAIN(tst_tool)
#include "tst_tool.moc"
