// The line conversion, the line count and the line length bound against the
// plainest possible reading of the same bytes, so a faster parser has to
// agree with it.
#include "updateFileLine.h"

#include <QBuffer>
#include <QList>

#include <cstdlib>
#include <limits>

namespace {

updateFileLine::packetLine slowConversion(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');
    updateFileLine::packetLine result;
    result.frameHoldTime = fields.at(0).toUInt(nullptr, 10);
    for (int i = 1; i < fields.size(); ++i)
        result.packet.append(char(fields.at(i).toShort(nullptr, 16) & 0xFF));
    return result;
}

int readLineCount(QIODevice &device)
{
    int lines = 0;
    while (!device.atEnd()) {
        device.readLine();
        ++lines;
    }
    return lines;
}

// The plain way: cut at every line feed and look at each piece.
updateFileLine::lineMeasure slowMeasure(const QByteArray &input, qint64 maxLength)
{
    updateFileLine::lineMeasure measure;
    QList<QByteArray> lines = input.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line, not a line
    for (int i = 0; i < lines.size(); ++i) {
        const bool hasLineEnd = i + 1 < lines.size() || input.endsWith('\n');
        if (lines.at(i).size() + (hasLineEnd ? 1 : 0) > maxLength) {
            measure.firstOverlongLine = i + 1;
            break;
        }
        ++measure.lines;
    }
    return measure;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(input);
    const updateFileLine::packetLine expected = slowConversion(input);
    check(converted.frameHoldTime == expected.frameHoldTime);
    check(converted.packet == expected.packet);
    check(updateFileLine::isCommentLine(input) == (size > 0 && data[0] == '#'));

    QBuffer buffer;
    buffer.setData(input);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    const int lines = readLineCount(buffer);
    buffer.seek(0);
    check(updateFileLine::measureLines(buffer, std::numeric_limits<qint64>::max()).lines == lines);

    // A small bound, so that lines cross the chunks of the count.
    const qint64 maxLength = size > 0 ? 1 + data[0] % 64 : 1;
    buffer.seek(0);
    const updateFileLine::lineMeasure measured = updateFileLine::measureLines(buffer, maxLength);
    const updateFileLine::lineMeasure expectedMeasure = slowMeasure(input, maxLength);
    check(measured.lines == expectedMeasure.lines);
    check(measured.firstOverlongLine == expectedMeasure.firstOverlongLine);
    return 0;
}
