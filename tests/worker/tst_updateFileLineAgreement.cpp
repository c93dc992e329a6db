// The line conversion takes shortcuts for plain fields; it must still agree
// with QByteArray's own split and conversions on every field. Every short
// field made of the characters where a shortcut could go wrong is tried in
// every place a field can stand.
#include "updateFileLine.h"

#include <QList>
#include <QtTest>

namespace {

updateFileLine::packetLine plainConversion(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');
    updateFileLine::packetLine result;
    result.frameHoldTime = fields.first().toUInt(nullptr, 10);
    for (int i = 1; i < fields.size(); ++i)
        result.packet.append(char(fields.at(i).toShort(nullptr, 16) & 0xFF));
    return result;
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

class tst_updateFileLineAgreement : public QObject
{
    Q_OBJECT

private slots:
    void everyShortFieldInEveryPlace();
    void longDigitRuns();

private:
    void compare(const QByteArray &line);
};

void tst_updateFileLineAgreement::compare(const QByteArray &line)
{
    const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(line);
    const updateFileLine::packetLine expected = plainConversion(line);
    if (converted.frameHoldTime != expected.frameHoldTime || converted.packet != expected.packet)
        QFAIL(qPrintable(QStringLiteral("line %1: hold %2, packet %3; expected hold %4, packet %5")
                             .arg(QString::fromLatin1(line.toHex(' ')))
                             .arg(converted.frameHoldTime)
                             .arg(QString::fromLatin1(converted.packet.toHex()))
                             .arg(expected.frameHoldTime)
                             .arg(QString::fromLatin1(expected.packet.toHex()))));
}

void tst_updateFileLineAgreement::everyShortFieldInEveryPlace()
{
    for (const QByteArray &field : fieldsUpTo(3)) {
        for (const QByteArray &line : {field, field + '\n', field + " 01\n", "0 " + field, "0 " + field + '\n',
                                       "12 " + field + " FF\n", "5 01  " + field + ' '}) {
            compare(line);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void tst_updateFileLineAgreement::longDigitRuns()
{
    const QByteArray runs[] = {"999999999", "1000000000", "4294967295", "4294967296", "0000000001", "7FFF", "7fff",
                               "8000", "FFFF", "00007FFF", "0000FFFF", "-8000", "-8001", "0x7F",
                               "000000000000000000000000000012"};
    for (const QByteArray &run : runs) {
        for (const QByteArray &line : {run, run + '\n', run + ' ' + run, "0 " + run + '\n', run + ' ' + run + " 01"}) {
            compare(line);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

QTEST_GUILESS_MAIN(tst_updateFileLineAgreement)
#include "tst_updateFileLineAgreement.moc"
