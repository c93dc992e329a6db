#include "updateFileLine.h"

#include <QFile>
#include <QTemporaryFile>
#include <QtTest>

using updateFileLine::convertPacketLine;

class tst_updateFileLine : public QObject
{
    Q_OBJECT

private slots:
    void dataByte_data();
    void dataByte();
    void holdTime_data();
    void holdTime();
    void packetLine_data();
    void packetLine();
    void commentLine_data();
    void commentLine();
    void lineCountMatchesReadLine_data();
    void lineCountMatchesReadLine();
};

void tst_updateFileLine::dataByte_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("byte");

    QTest::newRow("00") << QByteArray("00") << 0x00;
    QTest::newRow("FF") << QByteArray("FF") << 0xFF;
    QTest::newRow("ff") << QByteArray("ff") << 0xFF;
    QTest::newRow("one digit") << QByteArray("7") << 0x07;
    QTest::newRow("1FF keeps low byte") << QByteArray("1FF") << 0xFF;
    QTest::newRow("100 keeps low byte") << QByteArray("100") << 0x00;
    QTest::newRow("7FFF largest short") << QByteArray("7FFF") << 0xFF;
    QTest::newRow("-1 two's complement") << QByteArray("-1") << 0xFF;
    QTest::newRow("-7F01 two's complement") << QByteArray("-7F01") << 0xFF;
    QTest::newRow("8000 out of range") << QByteArray("8000") << 0x00;
    QTest::newRow("1FFFF out of range") << QByteArray("1FFFF") << 0x00;
    QTest::newRow("G1 not hex") << QByteArray("G1") << 0x00;
    QTest::newRow("1G digits then junk") << QByteArray("1G") << 0x00;
    QTest::newRow("tab joins two values") << QByteArray("01\t02") << 0x00;
}

void tst_updateFileLine::dataByte()
{
    QFETCH(QByteArray, field);
    QFETCH(int, byte);

    for (const QByteArray &lineEnd : {QByteArray(), QByteArray("\n")}) {
        const auto converted = convertPacketLine("0 " + field + lineEnd);
        QCOMPARE(converted.packet.size(), 1);
        QCOMPARE(quint8(converted.packet.at(0)), quint8(byte));
    }
}

void tst_updateFileLine::holdTime_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<quint32>("milliseconds");

    QTest::newRow("decimal") << QByteArray("40") << 40u;
    QTest::newRow("leading zeros") << QByteArray("0100") << 100u;
    QTest::newRow("largest") << QByteArray("4294967295") << 4294967295u;
    QTest::newRow("beyond 32 bits") << QByteArray("4294967296") << 0u;
    QTest::newRow("negative") << QByteArray("-1") << 0u;
    QTest::newRow("hex digits") << QByteArray("1A") << 0u;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" "40") << 0u;
}

void tst_updateFileLine::holdTime()
{
    QFETCH(QByteArray, field);
    QFETCH(quint32, milliseconds);

    QCOMPARE(convertPacketLine(field + "\n").frameHoldTime, milliseconds);
    QCOMPARE(convertPacketLine(field + " 01\n").frameHoldTime, milliseconds);
}

void tst_updateFileLine::packetLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<quint32>("milliseconds");
    QTest::addColumn<QByteArray>("packet");

    const QByteArray example = QByteArray::fromHex("00FF10");
    QTest::newRow("LF") << QByteArray("40 00 FF 10\n") << 40u << example;
    QTest::newRow("no line end") << QByteArray("40 00 FF 10") << 40u << example;
    QTest::newRow("CR LF") << QByteArray("40 00 FF 10\r\n") << 40u << example;
    QTest::newRow("only a hold time") << QByteArray("40\n") << 40u << QByteArray();
    QTest::newRow("empty line") << QByteArray("\n") << 0u << QByteArray();
    QTest::newRow("nothing") << QByteArray() << 0u << QByteArray();
    QTest::newRow("leading blank") << QByteArray(" 01 02\n") << 0u << QByteArray::fromHex("0102");
    QTest::newRow("two blanks") << QByteArray("40 01  02\n") << 40u << QByteArray::fromHex("010002");
    QTest::newRow("trailing blank") << QByteArray("40 01 \n") << 40u << QByteArray::fromHex("0100");
    QTest::newRow("trailing blank, no line end") << QByteArray("40 01 ") << 40u << QByteArray::fromHex("0100");
    QTest::newRow("tab") << QByteArray("40 01\t02 03\n") << 40u << QByteArray::fromHex("0003");
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" "40 01\n") << 0u << QByteArray::fromHex("01");
    QTest::newRow("blank then hash") << QByteArray(" #1 01\n") << 0u << QByteArray::fromHex("0001");
    QTest::newRow("full packet") << QByteArray("0" + QByteArray(" 5A").repeated(512) + "\n") << 0u
                                 << QByteArray(512, '\x5A');
}

void tst_updateFileLine::packetLine()
{
    QFETCH(QByteArray, line);
    QFETCH(quint32, milliseconds);
    QFETCH(QByteArray, packet);

    const auto converted = convertPacketLine(line);
    QCOMPARE(converted.frameHoldTime, milliseconds);
    QCOMPARE(converted.packet.toHex(' '), packet.toHex(' '));
}

void tst_updateFileLine::commentLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("comment");

    QTest::newRow("header") << QByteArray("#application\n") << true;
    QTest::newRow("hash alone") << QByteArray("#") << true;
    QTest::newRow("hash and blank") << QByteArray("# second block\n") << true;
    QTest::newRow("blank first") << QByteArray(" #Vendor\n") << false;
    QTest::newRow("hash later") << QByteArray("40 #\n") << false;
    QTest::newRow("byte order mark first") << QByteArray("\xEF\xBB\xBF#application\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_updateFileLine::commentLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, comment);

    QCOMPARE(updateFileLine::isCommentLine(line), comment);
}

void tst_updateFileLine::lineCountMatchesReadLine_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one line end") << QByteArray("\n");
    QTest::newRow("no line end") << QByteArray("40 01");
    QTest::newRow("LF") << QByteArray("#a\n40 01\n");
    QTest::newRow("last line without end") << QByteArray("#a\n40 01");
    QTest::newRow("CR LF") << QByteArray("#a\r\n40 01\r\n7");
    QTest::newRow("lone CR") << QByteArray("\r");
    QTest::newRow("CR after last LF") << QByteArray("40\n\r");
    QTest::newRow("empty lines") << QByteArray("\n\n\n");
    QTest::newRow("line longer than a read") << QByteArray(200000, 'F') + "\n" + QByteArray(70000, 'F');
    QTest::newRow("line end on a read boundary") << QByteArray(65535, 'F') + "\n" + QByteArray(65536, '\n');
}

void tst_updateFileLine::lineCountMatchesReadLine()
{
    QFETCH(QByteArray, contents);

    QTemporaryFile temporary;
    QVERIFY(temporary.open());
    QCOMPARE(temporary.write(contents), qint64(contents.size()));
    temporary.close();

    QFile file(temporary.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    int readLines = 0;
    while (!file.atEnd()) {
        file.readLine();
        ++readLines;
    }
    QVERIFY(file.seek(0));

    QCOMPARE(updateFileLine::countLines(file), readLines);
    QVERIFY(file.isTextModeEnabled());
}

QTEST_GUILESS_MAIN(tst_updateFileLine)
#include "tst_updateFileLine.moc"
