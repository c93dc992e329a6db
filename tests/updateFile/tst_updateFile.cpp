// The update-file format without a port: lines read and turned into frames
// as the transfer sends them, the header as the window shows it, and what
// the analysis finds in a file before anything is sent.
#include "testFiles.h"
#include "updateFileAnalysis.h"
#include "updateFileHeader.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QBuffer>
#include <QtTest>

namespace {

struct fileWarningAt
{
    qint64 line;
    QString kind;
    QString says = QString(); // a part of its message
};
using warningList = QVector<fileWarningAt>;

QStringList describe(const framePlan &plan)
{
    QStringList runs;
    for (const sentFrame &run : plan)
        runs << QStringLiteral("%1 x%2 then %3 ms").arg(QString::fromLatin1(run.hex.toLower())).arg(run.times).arg(run.holdMs);
    return runs;
}

QByteArray dataFile(const QString &name)
{
    QFile file(QStringLiteral(TEST_DATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no test data %s", qPrintable(file.fileName()));
    return file.readAll();
}

QBuffer *openBuffer(const QByteArray &contents, QObject *parent)
{
    auto *buffer = new QBuffer(parent);
    buffer->setData(contents);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

} // namespace

Q_DECLARE_METATYPE(warningList)

class tst_updateFile : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("lines");
        QTest::addColumn<framePlan>("frames");

        QTest::newRow("worked example") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n# second block\n25 7F 80 81\n100 01\n")
                                        << 8 << framePlan{{"00 00 ff 10", 6, 40}, {"00 7f 80 81", 1, 25}, {"00 01", 6, 100}};
        QTest::newRow("CR LF line ends") << QByteArray("#a\r\n5 01 02\r\n0 03\r\n") << 3 << framePlan{{"00 01 02", 6, 5}, {"00 03", 6}};
        // 1FF keeps its low byte, 8000 is beyond a short, a tab joins two fields,
        // two blanks make an empty field and a blank before the line end one more.
        QTest::newRow("field conversion") << QByteArray("7 1FF 100 -1 8000 G1  ff 01\t02 \nx 01\n") << 2
                                          << framePlan{{"00 ff 00 ff 00 00 00 ff 00 00", 6, 7}, {"00 01", 6}};
        QTest::newRow("no bytes; a blank first, then no hold and no comment") << QByteArray("\n40\n # 01\n") << 3
                                                                               << framePlan{{"00"}, {"00", 1, 40}, {"00 00 01", 6}};
        // A carriage return is dropped wherever it stands; a line of them is an empty packet.
        QTest::newRow("carriage returns") << QByteArray("0 01\r02\n\r\r\n0 02\n\r") << 4
                                          << framePlan{{"00 02", 6}, {"00", 6}, {"00 02", 6}, {"00", 6}};
    }

    // Read and converted as the transfer does, repetitions included.
    void frames()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, lines);
        QFETCH(framePlan, frames);

        QBuffer *file = openBuffer(contents, this);
        QCOMPARE(updateFileReading::measureLines(*file).lines, qint64(lines));
        file->seek(0);
        framePlan sent;
        QByteArray line;
        qint64 previousLength = 0;
        while (updateFileReading::readLine(*file, line)) {
            if (updateFileLine::isCommentLine(line))
                continue;
            const updateFileLine::packetLine packet = updateFileLine::convertPacketLine(line);
            const int times = updateFileLine::framesForPacket(packet.packet.size(), previousLength);
            previousLength = packet.packet.size();
            sent.append({(QByteArray(1, 0) + packet.packet).toHex(' '), times, int(packet.frameHoldTime)});
        }
        QCOMPARE(describe(sent), describe(frames));
    }

    void header_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("application");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("complete");

        QTest::newRow("complete") << QByteArray("#application\n#Vendor\n#Fixture\n#v1.04\n0 01\n") << "Application v1.04" << "Vendor Fixture" << true;
        QTest::newRow("CR LF") << QByteArray("#application\r\n#Vendor\r\n#Fixture\r\n#v1.04\r\n") << "Application v1.04" << "Vendor Fixture" << true;
        QTest::newRow("'#' alone") << QByteArray("#application\n#\n#Fixture\n#v1.04\n") << "Application v1.04" << " Fixture" << false;
        // Each attempt takes one byte of a line without '#': the fields stay empty.
        QTest::newRow("no '#'") << QByteArray("application\n#Vendor\n") << " " << " " << false;
    }

    void header()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, application);
        QFETCH(QString, fixture);
        QFETCH(bool, complete);

        const updateFileHeader header = readUpdateFileHeader(*openBuffer(contents, this));
        QCOMPARE(header.applicationText(), application);
        QCOMPARE(header.fixtureText(), fixture);
        QCOMPARE(header.isComplete(), complete);
    }

    void analysis_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<warningList>("warnings");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("wireTimeUs");
        QTest::addColumn<QString>("refused"); // "%1": the file's path

        // Packets of 0, 3, 1 and 513 bytes: 1 + 6 + 6 + 6 frames of 644 us, 3102 bytes of 44 us, 7 ms of hold.
        QTest::newRow("every kind of warning") << "#a\n#b\n#c\n\n7 1FF  01\r\n0 01\r02\n0" + QByteArray(" 01").repeated(513) + '\n'
                                               << warningList{{4, "header"}, {4, "emptyPacket"}, {5, "field"}, {5, "field"}, {6, "carriageReturn"},
                                                              {6, "field"}, {7, "packetTooLong"}}
                                               << qint64(19) << qint64(155724) << QString();
        QTest::newRow("no packet line") << QByteArray("#a\n#b\n") << warningList{{0, "noPackets"}, {3, "header"}} << qint64(0) << qint64(0)
                                        << QString();
        // Words that say what is wrong, with what came from the file escaped.
        QTest::newRow("holds") << QByteArray("#a\n#b\n#c\n#d\n4294967296 \x1b[2J\n99999999999\n4000000000\n600000\n0 01")
                               << warningList{{5, "field", "hold time \"4294967296\" is out of range"}, {5, "field", "byte 1 \"\\x1b[2J\""},
                                              {6, "emptyPacket"}, {6, "field", "out of range"}, {7, "emptyPacket"},
                                              {7, "longHold", "line 7 holds for 46 days"}, {8, "emptyPacket"},
                                              {9, "cutShort", "the file ends inside line 9: it may be cut short"}}
                               << qint64(20) << qint64(4000600013408) << QString();
        // One warning each, instead of one on nearly every line.
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF#a\n#b\n#c\n#d\n0 01\n") << warningList{{1, "byteOrderMark"}}
                                         << qint64(7) << qint64(4772) << QString();
        QTest::newRow("UTF-16") << dataFile("utf16.fwb") << warningList{{0, "utf16"}} << qint64(16) << qint64(11228) << QString();
        QTest::newRow("binary") << dataFile("binary.fwb") << warningList{{0, "binary"}} << qint64(1) << qint64(644) << QString();
        QTest::newRow("line too long") << "0 01\n" + QByteArray(70000, '1') << warningList{{1, "header"}} << qint64(0) << qint64(0)
                                       << "Update file line 2 is too long:%1";
    }

    void analysis()
    {
        QFETCH(QByteArray, contents);
        QFETCH(warningList, warnings);
        QFETCH(qint64, frames);
        QFETCH(qint64, wireTimeUs);
        QFETCH(QString, refused);

        const QString path = writeUpdateFile(contents);
        const updateFileAnalysis analysis = analyzeUpdateFile(path);
        QStringList found, expected;
        for (int index = 0; index < analysis.warnings.size(); ++index) {
            const fileWarning &warning = analysis.warnings.at(index);
            const QString says = warnings.value(index).says;
            found << QStringLiteral("%1:%2 %3").arg(warning.line).arg(warning.kind, warning.message.contains(says) ? says : warning.message);
        }
        for (const fileWarningAt &warning : std::as_const(warnings))
            expected << QStringLiteral("%1:%2 %3").arg(warning.line).arg(warning.kind, warning.says);
        QCOMPARE(found, expected);
        QCOMPARE(analysis.frames, frames);
        QCOMPARE(analysis.wireTimeUs, wireTimeUs);
        QCOMPARE(analysis.refused, QString(refused).replace("%1", path));
        if (refused.isEmpty())
            QCOMPARE(analysis.sha256, QCryptographicHash::hash(contents, QCryptographicHash::Sha256).toHex());
    }
};

QTEST_GUILESS_MAIN(tst_updateFile)
#include "tst_updateFile.moc"
