// The line conversion: its results for the shapes update files take, and
// agreement with QByteArray's own split and conversions, which its shortcuts
// for plain fields must match on every field. The line count as well.
#include "updateFileLine.h"

#include <QTemporaryFile>
#include <QtTest>

#include <limits>

using updateFileLine::convertPacketLine;
using updateFileLine::packetLine;

namespace {

packetLine plainConversion(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');
    packetLine result;
    result.frameHoldTime = fields.first().toUInt(nullptr, 10);
    for (int i = 1; i < fields.size(); ++i)
        result.packet.append(char(fields.at(i).toShort(nullptr, 16) & 0xFF));
    return result;
}

QByteArray shown(const packetLine &converted)
{
    return "hold " + QByteArray::number(converted.frameHoldTime) + ", packet " + converted.packet.toHex();
}

// Digits at the edges of each base and range, signs, a hex prefix, white
// space the conversions skip, a NUL that ends their view of the field.
const char interesting[] = {'0', '1', '7', '8', '9', 'A', 'F', 'f', 'G', 'x', '-', '+', '\t', '\n', '\r', '\0'};

QVector<QByteArray> fieldsUpTo(int maxLength)
{
    QVector<QByteArray> fields{QByteArray()};
    QVector<QByteArray> shorter = fields;
    for (int length = 1; length <= maxLength; ++length) {
        QVector<QByteArray> longer;
        for (const QByteArray &field : shorter) {
            for (char c : interesting)
                longer.append(field + c);
        }
        fields += longer;
        shorter = longer;
    }
    return fields;
}

} // namespace

class tst_updateFileLine : public QObject
{
    Q_OBJECT

private slots:
    void convertsLine_data();
    void convertsLine();
    void agreesWithPlainConversion();
    void countsLinesLikeReadLine_data();
    void countsLinesLikeReadLine();
};

void tst_updateFileLine::convertsLine_data()
{
    QTest::addColumn<QByteArray>("line"); // also tried with a line end, where it has none
    QTest::addColumn<quint32>("milliseconds");
    QTest::addColumn<QByteArray>("packet");

    QTest::newRow("packet line") << QByteArray("40 00 FF 10") << 40u << QByteArray::fromHex("00FF10");
    QTest::newRow("CR LF") << QByteArray("40 00 FF 10\r\n") << 40u << QByteArray::fromHex("00FF10");
    QTest::newRow("lower case, one digit") << QByteArray("0 ff 7") << 0u << QByteArray::fromHex("FF07");
    QTest::newRow("low byte of a short") << QByteArray("0 1FF 100 7FFF") << 0u << QByteArray::fromHex("FF00FF");
    QTest::newRow("two's complement") << QByteArray("0 -1 -7F01") << 0u << QByteArray::fromHex("FFFF");
    QTest::newRow("beyond a short, not hex") << QByteArray("0 80FF 1FFFF G1 1G") << 0u << QByteArray(4, '\0');
    QTest::newRow("tab joins two values") << QByteArray("40 01\t02 03") << 40u << QByteArray::fromHex("0003");
    QTest::newRow("only a hold time") << QByteArray("40") << 40u << QByteArray();
    QTest::newRow("empty line") << QByteArray() << 0u << QByteArray();
    QTest::newRow("leading blank") << QByteArray(" 01 02") << 0u << QByteArray::fromHex("0102");
    QTest::newRow("blank then hash") << QByteArray(" #1 01") << 0u << QByteArray::fromHex("0001");
    QTest::newRow("two blanks") << QByteArray("40 01  02") << 40u << QByteArray::fromHex("010002");
    QTest::newRow("trailing blank") << QByteArray("40 01 ") << 40u << QByteArray::fromHex("0100");
    QTest::newRow("hold with leading zeros") << QByteArray("0100 01") << 100u << QByteArray::fromHex("01");
    QTest::newRow("largest hold") << QByteArray("4294967295") << 4294967295u << QByteArray();
    QTest::newRow("hold beyond 32 bits") << QByteArray("4294967296 01") << 0u << QByteArray::fromHex("01");
    QTest::newRow("negative hold") << QByteArray("-1 01") << 0u << QByteArray::fromHex("01");
    QTest::newRow("hex hold") << QByteArray("1A") << 0u << QByteArray();
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" "40 01") << 0u << QByteArray::fromHex("01");
    QTest::newRow("full packet") << "0" + QByteArray(" 5A").repeated(512) << 0u << QByteArray(512, '\x5A');
}

void tst_updateFileLine::convertsLine()
{
    QFETCH(QByteArray, line);
    QFETCH(quint32, milliseconds);
    QFETCH(QByteArray, packet);

    for (const QByteArray &form : {line, line.endsWith('\n') ? line : line + '\n'}) {
        const packetLine converted = convertPacketLine(form);
        QCOMPARE(converted.frameHoldTime, milliseconds);
        QCOMPARE(converted.packet.toHex(' '), packet.toHex(' '));
    }
}

void tst_updateFileLine::agreesWithPlainConversion()
{
    QVector<QByteArray> fields = fieldsUpTo(3);
    fields += {"999999999", "1000000000", "4294967295", "4294967296", "0000000001", "7FFF", "7fff", "8000", "FFFF",
               "00007FFF", "0000FFFF", "-8000", "-8001", "0x7F", "000000000000000000000000000012"};
    for (const QByteArray &field : fields) {
        for (const QByteArray &line : {field, field + '\n', field + " 01\n", field + ' ' + field,
                                       field + ' ' + field + " 01", "0 " + field, "0 " + field + '\n',
                                       "12 " + field + " FF\n", "5 01  " + field + ' '}) {
            const QByteArray converted = shown(convertPacketLine(line));
            const QByteArray expected = shown(plainConversion(line));
            if (converted != expected)
                QFAIL("line " + line.toHex(' ') + ": " + converted + " instead of " + expected);
        }
    }
}

void tst_updateFileLine::countsLinesLikeReadLine_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one line end") << QByteArray("\n");
    QTest::newRow("no line end") << QByteArray("40 01");
    QTest::newRow("last line without end") << QByteArray("#a\n40 01");
    QTest::newRow("CR LF") << QByteArray("#a\r\n40 01\r\n7");
    QTest::newRow("lone CR") << QByteArray("\r");
    QTest::newRow("CR after last LF") << QByteArray("40\n\r");
    QTest::newRow("empty lines") << QByteArray("\n\n\n");
    QTest::newRow("line longer than a read") << QByteArray(200000, 'F') + "\n" + QByteArray(70000, 'F');
    QTest::newRow("line end on a read boundary") << QByteArray(65535, 'F') + "\n" + QByteArray(65536, '\n');
}

void tst_updateFileLine::countsLinesLikeReadLine()
{
    QFETCH(QByteArray, contents);

    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(file.write(contents), qint64(contents.size()));
    file.setTextModeEnabled(true);
    QVERIFY(file.seek(0));
    int readLines = 0;
    for (; !file.atEnd(); ++readLines)
        file.readLine();
    QVERIFY(file.seek(0));

    QCOMPARE(updateFileLine::measureLines(file, std::numeric_limits<qint64>::max()).lines, qint64(readLines));
    QVERIFY(file.isTextModeEnabled());
}

QTEST_GUILESS_MAIN(tst_updateFileLine)
#include "tst_updateFileLine.moc"
