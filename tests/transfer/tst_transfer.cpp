// Whole transfers over the virtual DMX interface: the frames, their timing
// and the line settings, cancels, and every way a transfer can fail.
#include "testSupport.h"

#include <QLoggingCategory>
#include <QSerialPort>
#include <QtTest>

#include <memory>

class tst_transfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesOnTheWire_data();
    void framesOnTheWire();
    void interruptedTransfer_data();
    void interruptedTransfer();
    void refusedOrFailed_data();
    void refusedOrFailed();

private:
    virtualDmxLine line;
};

void tst_transfer::initTestCase()
{
    QVERIFY(!line.portPath().isEmpty());
    // Thousands of lines would go to the test's output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

void tst_transfer::framesOnTheWire_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QStringList>("frames");

    QTest::newRow("worked example") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n"
                                                  "# second block\n25 7F 80 81\n100 01\n")
                                    << 8 << QStringList{"00 00 ff 10*6/40", "00 7f 80 81/25", "00 01*6/100"};
    QTest::newRow("length changes") << QByteArray("0 01 02 03\n0 04 05 06\n0 07\n0 08\n0 09 0a 0b")
                                    << 5 << QStringList{"00 01 02 03*6", "00 04 05 06", "00 07*6", "00 08", "00 09 0a 0b*6"};
    QTest::newRow("CR LF line ends") << QByteArray("#a\r\n5 01 02\r\n0 03\r\n") << 3
                                     << QStringList{"00 01 02*6/5", "00 03*6"};
    // 1FF keeps its low byte, 8000 is beyond a short, a tab joins two fields,
    // two blanks make an empty field and a blank before the line end one more.
    QTest::newRow("field conversion") << QByteArray("7 1FF 100 -1 8000 G1  ff 01\t02 \nx 01\n") << 2
                                      << QStringList{"00 ff 00 ff 00 00 00 ff 00 00*6/7", "00 01*6"};
    QTest::newRow("packets without bytes") << QByteArray("\n40\n 01\n") << 3 << QStringList{"00", "00/40", "00 01*6"};
    QTest::newRow("carriage return alone") << QByteArray("\r") << 1 << QStringList{"00"};
    QTest::newRow("carriage returns only") << QByteArray("\r\r\r") << 1 << QStringList{"00"};
    QTest::newRow("line of carriage returns") << QByteArray("0 01\n\r\r\n0 02\n") << 3
                                              << QStringList{"00 01*6", "00*6", "00 02*6"};
    QTest::newRow("comments only") << QByteArray("#a\n#b\n") << 2 << QStringList{};
    QTest::newRow("empty file") << QByteArray() << 0 << QStringList{};
    const QByteArray full = QByteArray("ab ").repeated(512).trimmed();
    QTest::newRow("512 bytes") << "1 " + full + '\n' << 1 << QStringList{"00 " + QString::fromLatin1(full.toLower()) + "*6/1"};
}

void tst_transfer::framesOnTheWire()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, lines);
    QFETCH(QStringList, frames);

    const QString file = writeUpdateFile(contents);
    // A second worker with the same file: what was sent before must not
    // change which packets are repeated.
    for (int run = 1; run <= 2; ++run) {
        shimLog::clear();
        const int receivedBefore = line.received().size();
        transferRun transfer(line.portPath(), file);
        transfer.start();
        QVERIFY(transfer.waitForEnd());
        QCOMPARE(transfer.endings, QStringList{"finished"});
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

void tst_transfer::interruptedTransfer_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("atFrame");    // act once this many frames are out; 0: right after the start
    QTest::addColumn<int>("atProgress"); // or once the progress reaches this
    QTest::addColumn<QByteArray>("change");  // instead of a cancel: "+text" appended, "=text" written over the start
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("progress");

    // The packet line in flight still goes out with its repetitions, but counts
    // for nothing; the port closes only once its last frame has left.
    const QByteArray packet = QByteArray("5a ").repeated(200).trimmed();
    QTest::newRow("cancel right after the start") << "0 " + packet + "\n0 03 04\n" << 0 << 0 << QByteArray() << "canceled"
                                                  << QStringList{"00 " + QString::fromLatin1(packet) + "*6"} << 0;
    QTest::newRow("cancel during a 46-day hold") << QByteArray("0 01\n4000000000 02\n0 03\n") << 7 << 0 << QByteArray()
                                                 << "canceled" << QStringList{"00 01*6", "00 02"} << 1;
    // After the last packet line's step nobody looks, however long the comments after it take.
    QTest::newRow("cancel after the last packet") << "0 01\n5 02\n" + QByteArray("#\n").repeated(100000) << 0 << 2
                                                  << QByteArray() << "finished" << QStringList{"00 01*6", "00 02/5"}
                                                  << 100002;
    const QString changed = "sendError:Update file changed while it was being sent:%1 | failed:3";
    QTest::newRow("file grows while sent") << QByteArray("300 01\n0 02\n") << 6 << 0 << QByteArray("+0 03\n")
                                           << changed << QStringList{"00 01*6"} << 1;
    // Same size, new time: seen before the next line goes out, or at the last look after the last one.
    QTest::newRow("file rewritten while sent") << QByteArray("300 01\n0 02\n") << 6 << 0 << QByteArray("=300 01\n0 03\n")
                                               << changed << QStringList{"00 01*6"} << 1;
    QTest::newRow("file rewritten after its last line") << QByteArray("0 01\n300 02\n") << 7 << 0 << QByteArray("=0 01\n300 03\n")
                                                        << changed << QStringList{"00 01*6", "00 02"} << 2;
}

void tst_transfer::interruptedTransfer()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, atFrame);
    QFETCH(int, atProgress);
    QFETCH(QByteArray, change);
    QFETCH(QString, ending);
    QFETCH(QStringList, frames);
    QFETCH(int, progress);

    shimLog::clear();
    const QString file = writeUpdateFile(contents);
    transferRun transfer(line.portPath(), file);
    transfer.start();
    QVERIFY(QTest::qWaitFor([&] { return shimLog::last().frames.size() >= atFrame && transfer.progress >= atProgress; }));
    QFile changed(file);
    if (change.isEmpty())
        transfer.cancel();
    else if (change.startsWith('+'))
        QVERIFY(changed.open(QIODevice::Append) && changed.write(change.mid(1)) == change.size() - 1);
    else
        QVERIFY(changed.open(QIODevice::ReadWrite) && changed.write(change.mid(1)) == change.size() - 1
                && changed.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    changed.close();
    QVERIFY(transfer.waitForEnd(5000));
    QCOMPARE(transfer.endings.join(" | "), QString(ending).replace(QLatin1String("%1"), file));
    QCOMPARE(transfer.progress, progress);
    QCOMPARE(shimLog::last().hex(), expandFrames(frames));
    QVERIFY2(timingFaults(shimLog::last(), frames).isEmpty(), qPrintable(timingFaults(shimLog::last(), frames)));
}

void tst_transfer::refusedOrFailed_data()
{
    QTest::addColumn<QByteArray>("fault"); // a shim setting, "name=value"
    QTest::addColumn<QString>("port");     // empty: the virtual interface; "held": a link to it, held by another worker
    QTest::addColumn<QByteArray>("contents"); // or a path to send instead of a file with them
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("frames");

    const QByteArray packets("0 01\n0 02\n0 03\n");
    const auto port = [](QSerialPort::SerialPortError code, int kind) { return QStringLiteral("port:%1 | failed:%2").arg(code).arg(kind); };
    QTest::newRow("DTR cannot be raised") << QByteArray("DMXSHIM_NO_DTR=1") << QString() << packets
                                          << "sendError:Unable to set DataTerminalReady | failed:0" << QStringList{};
    QTest::newRow("interface missing") << QByteArray() << "/dev/pts/no-such-interface" << packets
                                       << port(QSerialPort::DeviceNotFoundError, 0) << QStringList{};
    // Whatever name it is reached by, and root too, an interface carries one update at a time.
    QTest::newRow("interface held under another name") << QByteArray() << "held" << packets
                                                       << port(QSerialPort::PermissionError, 0) << QStringList{};
    QTest::newRow("file missing") << QByteArray() << QString() << QByteArray("/nonexistent/update.fwb")
                                  << "sendError:Couldn't Open Update file:%1 | failed:1" << QStringList{};
    QTest::newRow("not a regular file") << QByteArray() << QString() << QByteArray("/dev/null")
                                        << "sendError:Couldn't Open Update file:%1 | failed:1" << QStringList{};
    QTest::newRow("line too long") << QByteArray() << QString() << "0 01\n" + QByteArray(70000, '1') + "\n0 02\n"
                                   << "sendError:Update file line 2 is too long:%1 | failed:2" << QStringList{};
    QTest::newRow("unplugged at the third frame") << QByteArray("DMXSHIM_UNPLUG_AFTER=2") << QString() << packets
                                                  << port(QSerialPort::ResourceError, 3) << QStringList{"00 01*2"};
    // Qt keeps what it could not write and tries again: that must neither reach
    // the line later nor be reported again.
    QTest::newRow("a write fails") << QByteArray("DMXSHIM_WRITES_FAIL_AFTER=2") << QString() << packets
                                   << port(QSerialPort::ResourceError, 3) << QStringList{"00 01*2", ""};
    QTest::newRow("adapter stops taking bytes") << QByteArray("DMXSHIM_STUCK_AFTER=1") << QString() << packets
                                                << port(QSerialPort::TimeoutError, 3) << QStringList{"00 01", ""};
}

void tst_transfer::refusedOrFailed()
{
    QFETCH(QByteArray, fault);
    QFETCH(QString, port);
    QFETCH(QByteArray, contents);
    QFETCH(QString, ending);
    QFETCH(QStringList, frames);

    shimLog::clear();
    const QList<QByteArray> setting = fault.split('=');
    const scopedEnvironment faultOn(setting.first().constData(), setting.value(1));
    const QString file = contents.startsWith('/') ? QString::fromLatin1(contents) : writeUpdateFile(contents);
    QTemporaryDir links;
    std::unique_ptr<transferRun> holder;
    if (port == QLatin1String("held")) {
        holder.reset(new transferRun(line.portPath(), writeUpdateFile("0 01\n100000 02\n")));
        holder->start();
        QVERIFY(QTest::qWaitFor([] { return shimLog::last().frames.size() >= 7; }));
        port = links.filePath(QStringLiteral("usb-interface"));
        QVERIFY(QFile::link(line.portPath(), port));
    }
    transferRun transfer(port.isEmpty() ? line.portPath() : port, file);
    transfer.start();
    QVERIFY(transfer.waitForEnd(5000));
    QCOMPARE(transfer.endings.join(" | "), QString(ending).replace(QLatin1String("%1"), file));
    QCOMPARE(shimLog::last().hex(), expandFrames(frames));
    if (holder) {
        holder->cancel();
        QVERIFY(holder->waitForEnd(5000));
        QCOMPARE(holder->endings, QStringList{"canceled"});
        QCOMPARE(shimLog::sessions().first().hex(), expandFrames({"00 01*6", "00 02"}));
    }
}

QTEST_GUILESS_MAIN(tst_transfer)
#include "tst_transfer.moc"
