// The line conversion and the line count against the plainest possible
// reading of the same bytes, so a faster parser has to agree with it.
#include "updateFileLine.h"

#include <QBuffer>
#include <QList>

#include <cstdlib>

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
    check(updateFileLine::countLines(buffer) == lines);
    return 0;
}
