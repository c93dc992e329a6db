// Whole transfers over the virtual DMX interface: the frames, their timing and
// the line settings, cancels, every way a transfer can fail, and the computer
// kept awake meanwhile. A private bus stands in for the system bus, and this
// test for logind; each sleep lock is the write end of a pipe: once every copy
// of it is closed, the read end kept here sees the end of the file.
#include "serialPortThread.h"
#include "testSupport.h"

#include <QLoggingCategory>
#include <QSerialPort>
#include <QtDBus>
#include <QtTest>

#include <memory>

#include <poll.h>
#include <unistd.h>

class tst_transfer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

    virtualDmxLine line;
    QProcess bus;
    QStringList calls;
    QVector<pollfd> readEnds;
    QList<QDBusMessage> unanswered;
    bool answerLate = false;

    QDBusUnixFileDescriptor lock()
    {
        int ends[2] = {-1, -1};
        readEnds.append({pipe(ends) == 0 ? ends[0] : -1, POLLIN, 0});
        QDBusUnixFileDescriptor writeEnd;
        writeEnd.giveFileDescriptor(ends[1]);
        return writeEnd;
    }
    int released() { return poll(readEnds.data(), nfds_t(readEnds.size()), 0); }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        calls << QStringList{what, who, why, mode}.join(QLatin1Char('|'));
        if (!answerLate)
            return lock();
        setDelayedReply(true);
        unanswered << message();
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!line.portPath().isEmpty());
        // Thousands of lines would go to the test's output.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(bus.waitForReadyRead(5000), "no dbus-daemon");
        const QByteArray address = bus.readLine().trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address); // before anything asks for the system bus
        QDBusConnection logind = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("fakeLogind"));
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(logind.registerObject(QStringLiteral("/org/freedesktop/login1"), this, QDBusConnection::ExportAllSlots));
    }
    void cleanupTestCase() { bus.kill(); bus.waitForFinished(); }

    void framesOnTheWire_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("lines");
        QTest::addColumn<framePlan>("frames");

        QTest::newRow("worked example") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n# second block\n25 7F 80 81\n100 01\n")
                                        << 8 << framePlan{{"00 00 ff 10", 6, 40}, {"00 7f 80 81", 1, 25}, {"00 01", 6, 100}};
        QTest::newRow("length changes") << QByteArray("0 01 02 03\n0 04 05 06\n0 07\n0 08\n0 09 0a 0b") << 5
                                        << framePlan{{"00 01 02 03", 6}, {"00 04 05 06"}, {"00 07", 6}, {"00 08"}, {"00 09 0a 0b", 6}};
        // Counting and sending agree: a carriage return is dropped, a line of them is an empty packet.
        QTest::newRow("carriage returns") << QByteArray("0 01\r02\n\r\r\n0 02\n\r") << 4 << framePlan{{"00 02", 6}, {"00", 6}, {"00 02", 6}, {"00", 6}};
        QTest::newRow("comments only") << QByteArray("#a\n#b\n") << 2 << framePlan{};
        QTest::newRow("empty file") << QByteArray() << 0 << framePlan{};
        const QByteArray full = QByteArray("ab ").repeated(512).trimmed();
        QTest::newRow("512 bytes") << "1 " + full + '\n' << 1 << framePlan{{"00 " + full, 6, 1}};
    }

    void framesOnTheWire()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, lines);
        QFETCH(framePlan, frames);

        const QString file = writeUpdateFile(contents);
        // A second worker with the same file: what was sent before must not
        // change which packets are repeated.
        for (int run = 1; run <= 2; ++run) {
            shimLog::clear();
            const int receivedBefore = line.received().size();
            transferRun transfer(line.portPath(), file);
            transfer.start();
            QVERIFY(transfer.waitForEnd());
            QCOMPARE(describe(transfer.endings), QStringList{"finished"});
            QCOMPARE(transfer.length, lines);
            QCOMPARE(transfer.progress, lines);

            const portSession session = shimLog::last();
            QVERIFY(session.dtrRaised && session.closed);
            QCOMPARE(session.hex(), expandFrames(frames));
            QVERIFY2(timingFaults(session, frames).isEmpty(), qPrintable(timingFaults(session, frames)));
            const QByteArray wire = QByteArray::fromHex(expandFrames(frames).join(QLatin1Char(' ')).toLatin1());
            QVERIFY(QTest::qWaitFor([&] { return line.received().size() >= receivedBefore + wire.size(); }));
            QCOMPARE(line.received().mid(receivedBefore).toHex(' '), wire.toHex(' '));
        }
        if (!frames.isEmpty())
            QCOMPARE(line.settingsAtFirstByte(), QStringLiteral("250000 bit/s 8N2"));
    }

    void cutShortOrFailed_data()
    {
        // A shim setting "name=value", "held" (the interface, through a link, busy with another worker),
        // or "port=path" instead of the virtual interface.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("contents"); // or a path to send instead of a file with them
        // "cancel", "+text" appended to the file, "=text" written over its start; "@N": once N frames are out,
        // "@#N": once the progress is N.
        QTest::addColumn<QString>("action");
        QTest::addColumn<transferEndings>("ending"); // "%1" in a text: the file's path
        QTest::addColumn<framePlan>("frames");
        QTest::addColumn<int>("progress"); // -1: any

        // The packet line in flight still goes out with its repetitions, but counts
        // for nothing; the port closes only once its last frame has left.
        using E = transferEnding;
        const QByteArray packet = QByteArray("5a ").repeated(200).trimmed();
        QTest::newRow("cancel right after the start") << "" << "0 " + packet + "\n0 03 04\n" << "cancel@0" << transferEndings{{E::canceled}}
                                                      << framePlan{{"00 " + packet, 6}} << 0;
        QTest::newRow("cancel during a 46-day hold") << "" << QByteArray("0 01\n4000000000 02\n0 03\n") << "cancel@7" << transferEndings{{E::canceled}}
                                                     << framePlan{{"00 01", 6}, {"00 02"}} << 1;
        // After the last packet line's step nobody looks, however long the comments after it take.
        QTest::newRow("cancel after the last packet") << "" << "0 01\n5 02\n" + QByteArray("#\n").repeated(100000) << "cancel@#2"
                                                      << transferEndings{{E::finished}} << framePlan{{"00 01", 6}, {"00 02", 1, 5}} << 100002;
        const transferEndings changed{E::error("Update file changed while it was being sent:%1"), E::failure(serialPortThread::failedOnTheWay)};
        QTest::newRow("file grows while sent") << "" << QByteArray("300 01\n0 02\n") << "+0 03\n@6" << changed << framePlan{{"00 01", 6}} << 1;
        // Same size, new time: seen before the next line goes out, or at the last look after the last one.
        QTest::newRow("file rewritten while sent") << "" << QByteArray("300 01\n0 02\n") << "=300 01\n0 03\n@6" << changed
                                                   << framePlan{{"00 01", 6}} << 1;
        QTest::newRow("file rewritten after its last line") << "" << QByteArray("0 01\n300 02\n") << "=0 01\n300 03\n@7" << changed
                                                            << framePlan{{"00 01", 6}, {"00 02"}} << 2;

        const QByteArray packets("0 01\n0 02\n0 03\n");
        const auto port = [](QSerialPort::SerialPortError code, serialPortThread::failureKind kind) { return transferEndings{E::port(code), E::failure(kind)}; };
        const transferEndings unopened{E::error("Couldn't Open Update file:%1"), E::failure(serialPortThread::fileUnreadable)};
        QTest::newRow("DTR cannot be raised") << "DMXSHIM_NO_DTR=1" << packets << ""
                                              << transferEndings{E::error("Unable to set DataTerminalReady"), E::failure(serialPortThread::interfaceFailed)}
                                              << framePlan{} << 0;
        QTest::newRow("interface missing") << "port=/dev/pts/no-such" << packets << "" << port(QSerialPort::DeviceNotFoundError, serialPortThread::interfaceFailed)
                                           << framePlan{} << 0;
        // One update at a time whatever name reaches it, for root too: a second opener is refused at or right after its open.
        QTest::newRow("interface held under another name") << "held" << packets << "" << port(QSerialPort::PermissionError, serialPortThread::interfaceFailed)
                                                           << framePlan{} << 0;
        QTest::newRow("file missing") << "" << QByteArray("/nonexistent/update.fwb") << "" << unopened << framePlan{} << 0;
        QTest::newRow("not a regular file") << "" << QByteArray("/dev/null") << "" << unopened << framePlan{} << 0;
        QTest::newRow("line too long") << "" << "0 01\n" + QByteArray(70000, '1') + "\n0 02\n" << ""
                                       << transferEndings{E::error("Update file line 2 is too long:%1"), E::failure(serialPortThread::fileRefused)}
                                       << framePlan{} << 0;
        QTest::newRow("unplugged at the third frame") << "DMXSHIM_UNPLUG_AFTER=2" << packets << "" << port(QSerialPort::ResourceError, serialPortThread::failedOnTheWay)
                                                      << framePlan{{"00 01", 2}} << 0;
        // Qt keeps what it could not write and tries again: that must neither reach
        // the line later nor be reported again.
        QTest::newRow("a write fails") << "DMXSHIM_WRITES_FAIL_AFTER=2" << packets << "" << port(QSerialPort::ResourceError, serialPortThread::failedOnTheWay)
                                       << framePlan{{"00 01", 2}, {""}} << 0;
        QTest::newRow("adapter stops taking bytes") << "DMXSHIM_STUCK_AFTER=1" << packets << "" << port(QSerialPort::TimeoutError, serialPortThread::failedOnTheWay)
                                                    << framePlan{{"00 01"}, {""}} << 0;
    }

    void cutShortOrFailed()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, contents);
        QFETCH(QString, action);
        QFETCH(transferEndings, ending);
        QFETCH(framePlan, frames);
        QFETCH(int, progress);

        shimLog::clear();
        const QByteArray name = setup.startsWith("DMXSHIM") ? setup.section('=', 0, 0).toLatin1() : QByteArray("NO_FAULT");
        const scopedEnvironment faultOn(name.constData(), setup.section('=', 1).toLatin1());
        const QString file = contents.startsWith('/') ? QString::fromLatin1(contents) : writeUpdateFile(contents);
        QString port = setup.startsWith("port=") ? setup.mid(5) : line.portPath();
        QTemporaryDir links;
        std::unique_ptr<transferRun> holder;
        if (setup == "held") {
            holder.reset(new transferRun(line.portPath(), writeUpdateFile("0 01\n100000 02\n")));
            holder->start();
            QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
            port = links.filePath("usb-interface");
            QVERIFY(QFile::link(line.portPath(), port));
        }
        transferRun transfer(port, file);
        transfer.start();
        const int at = action.section('@', -1).remove('#').toInt();
        QFile changed(file);
        if (!action.isEmpty())
            QVERIFY(QTest::qWaitFor([&] { return action.contains("@#") ? transfer.progress >= at : shimLog::last().frames.size() >= at; }));
        if (action.startsWith("cancel"))
            transfer.cancel();
        else if (action.startsWith('+'))
            QVERIFY(changed.open(QIODevice::Append) && changed.write(action.section('@', 0, 0).mid(1).toUtf8()) > 0);
        else if (action.startsWith('='))
            QVERIFY(changed.open(QIODevice::ReadWrite) && changed.write(action.section('@', 0, 0).mid(1).toUtf8()) > 0
                    && changed.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        changed.close();
        QVERIFY(transfer.waitForEnd(5000));
        QCOMPARE(describe(transfer.endings), describe(ending).replaceInStrings("%1", file));
        QCOMPARE(transfer.progress, progress);
        QCOMPARE((holder ? shimLog::sessions().value(1) : shimLog::last()).hex(), expandFrames(frames));
        QVERIFY2(timingFaults(shimLog::last(), frames).isEmpty(), qPrintable(timingFaults(shimLog::last(), frames)));
        if (holder) { // the other update goes on untouched
            holder->cancel();
            QVERIFY(holder->waitForEnd(5000));
            QCOMPARE(describe(holder->endings), QStringList{"canceled"});
            QCOMPARE(shimLog::sessions().first().hex(), expandFrames(framePlan{{"00 01", 6}, {"00 02"}}));
        }
    }

    void sleepLockHeldUntilTheEnd_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<transferEndings>("ending");
        using E = transferEnding;
        QTest::newRow("finished") << "" << transferEndings{{E::finished}};
        QTest::newRow("canceled while sending") << "cancel" << transferEndings{{E::canceled}};
        QTest::newRow("adapter unplugged") << "unplug"
                                           << transferEndings{E::port(QSerialPort::ResourceError), E::failure(serialPortThread::failedOnTheWay)};
        QTest::newRow("answered after the end") << "answer late" << transferEndings{{E::finished}};
    }
    void sleepLockHeldUntilTheEnd()
    {
        QFETCH(QString, event);
        QFETCH(transferEndings, ending);

        for (const pollfd &end : qExchange(readEnds, {}))
            close(end.fd);
        calls.clear();
        answerLate = event == "answer late";
        const scopedEnvironment unplug("DMXSHIM_UNPLUG_AFTER", event == "unplug" ? "2" : "");
        transferRun transfer(line.portPath(), writeUpdateFile(event == "cancel" ? "0 01\n" + QByteArray("1 02\n").repeated(99999) : "0 01\n5 02\n"));
        transfer.start();
        bool heldWhileSending = true;
        if (event == "cancel") {
            // The worker takes its replies after each frame: twenty frames after both answers the locks are its own.
            QVERIFY(QTest::qWaitFor([&] { return readEnds.size() == 2; }));
            const int answeredAt = shimLog::last().frames.size();
            QVERIFY(QTest::qWaitFor([&] { return shimLog::last().frames.size() >= answeredAt + 20; }));
            heldWhileSending = released() == 0;
            transfer.cancel();
        }
        QVERIFY(transfer.waitForEnd(5000));
        QCOMPARE(describe(transfer.endings), describe(ending));
        QVERIFY(heldWhileSending);
        QVERIFY(QTest::qWaitFor([&] { return calls.size() == 2; }));
        const QString texts = QStringLiteral("|Orvana Firmware Updater|Updating fixture firmware|block");
        QCOMPARE(calls, QStringList({"sleep:idle" + texts, "handle-lid-switch" + texts}));
        for (const QDBusMessage &call : qExchange(unanswered, {}))
            QDBusConnection(QStringLiteral("fakeLogind")).send(call.createReply(QVariant::fromValue(lock())));
        QVERIFY(QTest::qWaitFor([&] { return released() == 2; }, 2000));
    }
};

QTEST_GUILESS_MAIN(tst_transfer)
#include "tst_transfer.moc"
