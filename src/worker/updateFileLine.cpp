#include "updateFileLine.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace updateFileLine {

bool isCommentLine(const QByteArray &line)
{
    return line.startsWith('#');
}

namespace {

// The fields are what QByteArray::split(' ') would make of the line, and each
// converts exactly as QByteArray::toUInt(10) or toShort(16) converts it. The
// plain shapes (a few digits, perhaps the line end after the last field) are
// worked out here without a copy; anything else goes through those very calls.

struct digitTable {
    quint32 base;
    signed char value[256];
};

constexpr digitTable makeDigitTable(int base)
{
    digitTable table{};
    table.base = quint32(base);
    for (int c = 0; c < 256; ++c) {
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        table.value[c] = static_cast<signed char>(value < base ? value : -1);
    }
    return table;
}

constexpr digitTable decimalDigits = makeDigitTable(10);
constexpr digitTable hexDigits = makeDigitTable(16);

const char *fieldEndFrom(const char *c, const char *lineEnd)
{
    while (c != lineEnd && *c != ' ')
        ++c;
    return c;
}

// Reads up to maxDigits digits from field into value. Returns where the field
// ends if it held nothing else (the conversions ignore the line end after the
// last field), or nullptr when only the library call can tell its value.
const char *readPlainField(const char *field, const char *lineEnd, const digitTable &digits, int maxDigits,
                           quint32 &value)
{
    const char *c = field;
    value = 0;
    for (int digit; c != lineEnd && c - field < maxDigits && (digit = digits.value[quint8(*c)]) >= 0; ++c)
        value = value * digits.base + quint32(digit);
    if (c == lineEnd || *c == ' ')
        return c;
    if (*c == '\n' && c + 1 == lineEnd && c != field)
        return lineEnd;
    return nullptr;
}

// Converts the field that starts at field; returns where it ends.
const char *convertHoldTime(const char *field, const char *lineEnd, quint32 &holdTime)
{
    // Nine decimal digits always fit in 32 bits.
    if (const char *end = readPlainField(field, lineEnd, decimalDigits, 9, holdTime)) {
        if (end != field)
            return end;
    }
    const char *const end = fieldEndFrom(field, lineEnd);
    holdTime = QByteArray::fromRawData(field, int(end - field)).toUInt(nullptr, 10);
    return end;
}

const char *convertDataByte(const char *field, const char *lineEnd, char &byte)
{
    quint32 value;
    // Up to four hex digits; a value beyond a short's range does not convert,
    // and an empty field (two blanks in a row) gives 0 as well.
    if (const char *end = readPlainField(field, lineEnd, hexDigits, 4, value)) {
        byte = char(value <= 0x7FFF ? value & 0xFF : 0);
        return end;
    }
    const char *const end = fieldEndFrom(field, lineEnd);
    byte = char(QByteArray::fromRawData(field, int(end - field)).toShort(nullptr, 16) & 0xFF);
    return end;
}

} // namespace

packetLine convertPacketLine(const QByteArray &line)
{
    const char *const lineBegin = line.constData();
    const char *const lineEnd = lineBegin + line.size();

    packetLine result;
    // Fields that do not convert give 0: no pause, or a 0x00 byte.
    const char *fieldEnd = convertHoldTime(lineBegin, lineEnd, result.frameHoldTime);

    // Every blank starts one more field, and every field after the first is a byte.
    const int byteCount = int(std::count(fieldEnd, lineEnd, ' '));
    if (byteCount == 0)
        return result;
    result.packet.resize(byteCount);
    char *byte = result.packet.data();
    while (fieldEnd != lineEnd)
        fieldEnd = convertDataByte(fieldEnd + 1, lineEnd, *byte++);
    return result;
}

lineMeasure measureLines(QIODevice &device, qint64 maxLength)
{
    // Text mode drops every CR, so a file holding only a CR would read as
    // empty although readLine() still yields one line for it.
    const bool textMode = device.isTextModeEnabled();
    device.setTextModeEnabled(false);

    // A chunk no longer than the longest line allowed cannot hold a whole line
    // that is too long, so only the line running across chunks is measured.
    const qint64 chunkSize = qBound<qint64>(1, maxLength, 64 * 1024);
    QByteArray chunk(int(chunkSize), Qt::Uninitialized);
    lineMeasure measure;
    qint64 lineLength = 0; // the line that runs on past the chunk read last
    qint64 length;
    while ((length = device.read(chunk.data(), chunkSize)) > 0) {
        const char *const begin = chunk.constData();
        const char *const end = begin + length;
        const auto *firstEnd = static_cast<const char *>(std::memchr(begin, '\n', size_t(length)));
        if (!firstEnd) {
            lineLength += length;
        } else {
            lineLength += firstEnd - begin + 1;
            if (lineLength > maxLength)
                break;
            measure.lines += std::count(firstEnd, end, '\n');
            const char *lastEnd = end - 1;
            while (*lastEnd != '\n')
                --lastEnd;
            lineLength = end - lastEnd - 1;
        }
        if (lineLength > maxLength)
            break;
    }
    if (lineLength > maxLength)
        measure.firstOverlongLine = measure.lines + 1;
    else if (lineLength > 0)
        ++measure.lines; // a last line without a line end

    device.setTextModeEnabled(textMode);
    return measure;
}

} // namespace updateFileLine
