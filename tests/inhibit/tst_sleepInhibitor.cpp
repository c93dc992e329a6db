// The computer kept awake while frames go out, and let go however the transfer
// ends: a private bus stands in for the system bus, and this test for logind.
// Each lock is the write end of a pipe: once every copy of it is closed, the
// read end kept here sees the end of the file.
#include "testSupport.h"

#include <QSerialPort>
#include <QtDBus>
#include <QtTest>

#include <poll.h>
#include <unistd.h>

class tst_sleepInhibitor : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

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
        bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(bus.waitForReadyRead(5000), "no dbus-daemon");
        const QByteArray address = bus.readLine().trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address); // before anything asks for the system bus
        QDBusConnection logind = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("fakeLogind"));
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(logind.registerObject(QStringLiteral("/org/freedesktop/login1"), this, QDBusConnection::ExportAllSlots));
    }
    void cleanupTestCase() { bus.kill(); bus.waitForFinished(); }

    void lockHeldUntilTheEnd_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("ending");
        QTest::newRow("finished") << "" << "finished";
        QTest::newRow("canceled while sending") << "cancel" << "canceled";
        QTest::newRow("adapter unplugged") << "unplug" << QStringLiteral("port:%1 | failed:3").arg(QSerialPort::ResourceError);
        QTest::newRow("answered after the end") << "answer late" << "finished";
    }
    void lockHeldUntilTheEnd()
    {
        QFETCH(QString, event);
        QFETCH(QString, ending);

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
        QCOMPARE(transfer.endings.join(" | "), ending);
        QVERIFY(heldWhileSending);
        QVERIFY(QTest::qWaitFor([&] { return calls.size() == 2; }));
        const QString texts = QStringLiteral("|Orvana Firmware Updater|Updating fixture firmware|block");
        QCOMPARE(calls, QStringList({"sleep:idle" + texts, "handle-lid-switch" + texts}));
        for (const QDBusMessage &call : qExchange(unanswered, {}))
            QDBusConnection(QStringLiteral("fakeLogind")).send(call.createReply(QVariant::fromValue(lock())));
        QVERIFY(QTest::qWaitFor([&] { return released() == 2; }, 2000));
    }

private:
    QDBusUnixFileDescriptor lock()
    {
        int ends[2] = {-1, -1};
        readEnds.append({pipe(ends) == 0 ? ends[0] : -1, POLLIN, 0});
        QDBusUnixFileDescriptor writeEnd;
        writeEnd.giveFileDescriptor(ends[1]);
        return writeEnd;
    }
    int released() { return poll(readEnds.data(), nfds_t(readEnds.size()), 0); }

    QProcess bus;
    virtualDmxLine line;
    QStringList calls;
    QVector<pollfd> readEnds;
    QList<QDBusMessage> unanswered;
    bool answerLate = false;
};

QTEST_GUILESS_MAIN(tst_sleepInhibitor)
#include "tst_sleepInhibitor.moc"
