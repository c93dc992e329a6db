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

#include <cerrno>
#include <memory>

#include <poll.h>
#include <unistd.h>

// What a row does while its transfer runs, once `at` frames are on the wire (or, for cancelAtProgress, once
// the progress has reached `at` lines).
struct duringTransfer
{
    enum action { nothing, cancel, cancelAtProgress, append, overwrite };
    action what = nothing;
    int at = 0;
    QByteArray text = QByteArray(); // appended to the file, or written over its start
};
Q_DECLARE_METATYPE(duringTransfer)

// A shim variable and its value, e.g. {"DMXSHIM_UNPLUG_AFTER", "2"}; none where the name is empty.
using shimFault = QPair<QByteArray, QByteArray>;

class tst_transfer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    enum interfaceChoice { virtualInterface, heldThroughALink }; // held: by another worker
    Q_ENUM(interfaceChoice)
    enum lockEvent { sendsToTheEnd, canceledWhileSending, unplugged, answeredAfterTheEnd };
    Q_ENUM(lockEvent)

private:
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

        QTest::newRow("length changes") << QByteArray("0 01 02 03\n0 04 05 06\n0 07\n0 08\n0 09 0a 0b") << 5
                                        << framePlan{{"00 01 02 03", 6}, {"00 04 05 06"}, {"00 07", 6}, {"00 08"}, {"00 09 0a 0b", 6}};
        QTest::newRow("empty file") << QByteArray() << 0 << framePlan{};
        const QByteArray full = QByteArray("ab ").repeated(512).trimmed();
        QTest::newRow("512 bytes") << "1 " + full + '\n' << 1 << framePlan{{"00 " + full, 6, 1}};
        QTest::newRow("holds of several milliseconds") << QByteArray("2 01 02\n40 03 04\n5 05\n0 06\n") << 4
                                                       << framePlan{{"00 01 02", 6, 2}, {"00 03 04", 1, 40}, {"00 05", 6, 5}, {"00 06"}};
    }

    void framesOnTheWire()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, lines);
        QFETCH(framePlan, frames);

        const QString file = writeUpdateFile(contents);
        // The same file through a pty, which takes every byte at once, through USB adapters that take each write
        // and break request up to 1 or 2 ms later, and set a break at once, cutting what they still send, with
        // sleeps that wake on the ticks of Windows' default timer, and where the driver's queue cannot be read.
        // A new worker each time: what was sent before must not change which packets are repeated.
        const shimFault passes[] = {{}, {"DMXSHIM_USB_DELAY_US", "1000"}, {"DMXSHIM_USB_DELAY_US", "2000"},
                                    {"DMXSHIM_SLEEP_TICK_US", "15625"}, {"DMXSHIM_USB_NO_OUTQ", "1"}};
        for (const shimFault &pass : passes) {
            shimLog::clear();
            const scopedEnvironment adapter(pass.first.constData(), pass.second);
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
            QCOMPARE(session.bytesCut, 0);
            const QByteArray wire = QByteArray::fromHex(expandFrames(frames).join(QLatin1Char(' ')).toLatin1());
            QVERIFY(QTest::qWaitFor([&] { return line.received().size() >= receivedBefore + wire.size(); }));
            QCOMPARE(line.received().mid(receivedBefore).toHex(' '), wire.toHex(' '));
        }
        if (!frames.isEmpty())
            QCOMPARE(line.settingsAtFirstByte(), QStringLiteral("250000 bit/s 8N2"));
    }

    void cutShortOrFailed_data()
    {
        QTest::addColumn<shimFault>("fault");
        QTest::addColumn<interfaceChoice>("interface");
        QTest::addColumn<QString>("file");
        QTest::addColumn<duringTransfer>("action");
        QTest::addColumn<transferEndings>("ending");
        QTest::addColumn<framePlan>("frames");
        QTest::addColumn<int>("progress");

        using E = transferEnding;
        using D = duringTransfer;
        // The packet line in flight still goes out with its repetitions, but counts
        // for nothing; the port closes only once its last frame has left.
        const auto during = [](const char *name, const QString &file, D action, const transferEndings &ending, const framePlan &frames,
                               int progress) {
            QTest::newRow(name) << shimFault() << virtualInterface << file << action << ending << frames << progress;
        };
        const QByteArray packet = QByteArray("5a ").repeated(200).trimmed();
        during("cancel right after the start", writeUpdateFile("0 " + packet + "\n0 03 04\n"), {D::cancel, 0}, {{E::canceled}},
               {{"00 " + packet, 6}}, 0);
        during("cancel during a 46-day hold", writeUpdateFile("0 01\n4000000000 02\n0 03\n"), {D::cancel, 7}, {{E::canceled}},
               {{"00 01", 6}, {"00 02"}}, 1);
        // After the last packet line's step nobody looks, however long the comments after it take.
        during("cancel after the last packet", writeUpdateFile("0 01\n5 02\n" + QByteArray("#\n").repeated(100000)), {D::cancelAtProgress, 2},
               {{E::finished}}, {{"00 01", 6}, {"00 02", 1, 5}}, 100002);
        const auto changed = [&](const char *name, const QByteArray &contents, D action, const framePlan &frames, int progress) {
            const QString file = writeUpdateFile(contents);
            const QString text = "Update file changed while it was being sent:" + file;
            during(name, file, action, {E::error(text), E::failure(serialPortThread::failedOnTheWay)}, frames, progress);
        };
        changed("file grows while sent", "300 01\n0 02\n", {D::append, 6, "0 03\n"}, {{"00 01", 6}}, 1);
        // Same size, new time: seen before the next line goes out, or at the last look after the last one.
        changed("file rewritten while sent", "300 01\n0 02\n", {D::overwrite, 6, "300 01\n0 03\n"}, {{"00 01", 6}}, 1);
        changed("file rewritten after its last line", "0 01\n300 02\n", {D::overwrite, 7, "0 01\n300 03\n"}, {{"00 01", 6}, {"00 02"}}, 2);

        // Three packet lines that do not all reach the line.
        const QString packets = writeUpdateFile("0 01\n0 02\n0 03\n");
        const auto failed = [&](const char *name, const shimFault &fault, interfaceChoice interface, const transferEndings &ending,
                                const framePlan &frames) {
            QTest::newRow(name) << fault << interface << packets << D{} << ending << frames << 0;
        };
        // A port error before the first frame, or on the way; words for what the interface cannot do.
        const auto unready = [](QSerialPort::SerialPortError code) { return transferEndings{E::port(code), E::failure(serialPortThread::interfaceFailed)}; };
        const auto lost = [](QSerialPort::SerialPortError code) { return transferEndings{E::port(code), E::failure(serialPortThread::failedOnTheWay)}; };
        const auto noBreak = [](int errorNumber) { return shimFault("DMXSHIM_NO_BREAK", QByteArray::number(errorNumber)); };
        // Said before the first frame, also for EOPNOTSUPP, which Qt has no name for (Linux 6.5 on answers ENOTTY).
        failed("no break: EOPNOTSUPP", noBreak(EOPNOTSUPP), virtualInterface, 
               {E::error("This interface cannot send a DMX512 break"), E::failure(serialPortThread::interfaceCannotBreak)}, {});
        failed("break fails with EIO", noBreak(EIO), virtualInterface, unready(QSerialPort::ResourceError), {});
        // One update at a time whatever name reaches it, for root too: a second opener is refused at or right after its open.
        failed("interface held under another name", {}, heldThroughALink, unready(QSerialPort::PermissionError), {});
        failed("unplugged at the third frame", {"DMXSHIM_UNPLUG_AFTER", "2"}, virtualInterface, lost(QSerialPort::ResourceError), {{"00 01", 2}});
        // Qt keeps what it could not write and tries again: that must neither reach
        // the line later nor be reported again.
        failed("a write fails", {"DMXSHIM_WRITES_FAIL_AFTER", "2"}, virtualInterface, lost(QSerialPort::ResourceError), {{"00 01", 2}, {""}});
        failed("adapter stops taking bytes", {"DMXSHIM_STUCK_AFTER", "1"}, virtualInterface, lost(QSerialPort::TimeoutError), {{"00 01"}, {""}});
        failed("queue never empties", {"DMXSHIM_QUEUE_STUCK_AFTER", "1"}, virtualInterface, lost(QSerialPort::TimeoutError), {{"00 01", 2}});

        const QString longLine = writeUpdateFile("0 01\n" + QByteArray(70000, '1') + "\n0 02\n");
        const transferEndings tooLong{E::error("Update file line 2 is too long:" + longLine), E::failure(serialPortThread::fileRefused)};
        QTest::newRow("line too long") << shimFault() << virtualInterface << longLine << D{} << tooLong << framePlan{} << 0;
        const transferEndings unopened{E::error("Couldn't Open Update file:/dev/null"), E::failure(serialPortThread::fileUnreadable)};
        QTest::newRow("not a regular file") << shimFault() << virtualInterface << "/dev/null" << D{} << unopened << framePlan{} << 0;
    }

    void cutShortOrFailed()
    {
        QFETCH(shimFault, fault);
        QFETCH(interfaceChoice, interface);
        QFETCH(QString, file);
        QFETCH(duringTransfer, action);
        QFETCH(transferEndings, ending);
        QFETCH(framePlan, frames);
        QFETCH(int, progress);

        shimLog::clear();
        const scopedEnvironment faultOn(fault.first.constData(), fault.second);
        QString port = line.portPath();
        QTemporaryDir links;
        std::unique_ptr<transferRun> holder;
        if (interface == heldThroughALink) {
            holder.reset(new transferRun(line.portPath(), writeUpdateFile("0 01\n100000 02\n")));
            holder->start();
            QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
            port = links.filePath("usb-interface");
            QVERIFY(QFile::link(line.portPath(), port));
        }
        transferRun transfer(port, file);
        transfer.start();
        if (action.what != duringTransfer::nothing)
            QVERIFY(QTest::qWaitFor([&] {
                return action.what == duringTransfer::cancelAtProgress ? transfer.progress >= action.at
                                                                      : shimLog::last().frames.size() >= action.at;
            }));
        QFile changed(file);
        if (action.what == duringTransfer::cancel || action.what == duringTransfer::cancelAtProgress)
            transfer.cancel();
        else if (action.what == duringTransfer::append)
            QVERIFY(changed.open(QIODevice::Append) && changed.write(action.text) > 0);
        else if (action.what == duringTransfer::overwrite)
            QVERIFY(changed.open(QIODevice::ReadWrite) && changed.write(action.text) > 0
                    && changed.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        changed.close();
        QVERIFY(transfer.waitForEnd());
        QCOMPARE(describe(transfer.endings), describe(ending));
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
        QTest::addColumn<lockEvent>("event");
        QTest::addColumn<transferEndings>("ending");
        using E = transferEnding;
        QTest::newRow("finished") << sendsToTheEnd << transferEndings{{E::finished}};
        QTest::newRow("canceled while sending") << canceledWhileSending << transferEndings{{E::canceled}};
        QTest::newRow("adapter unplugged") << unplugged
                                           << transferEndings{E::port(QSerialPort::ResourceError), E::failure(serialPortThread::failedOnTheWay)};
        QTest::newRow("answered after the end") << answeredAfterTheEnd << transferEndings{{E::finished}};
    }
    void sleepLockHeldUntilTheEnd()
    {
        QFETCH(lockEvent, event);
        QFETCH(transferEndings, ending);

        for (const pollfd &end : qExchange(readEnds, {}))
            close(end.fd);
        calls.clear();
        answerLate = event == answeredAfterTheEnd;
        const scopedEnvironment unplug("DMXSHIM_UNPLUG_AFTER", event == unplugged ? "2" : "");
        const bool cancel = event == canceledWhileSending;
        transferRun transfer(line.portPath(), writeUpdateFile(cancel ? "0 01\n" + QByteArray("1 02\n").repeated(99999) : "0 01\n5 02\n"));
        transfer.start();
        bool heldWhileSending = true;
        if (cancel) {
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
