#include "updateFileLine.h"

#include <QIODevice>
#include <QList>

#include <algorithm>

namespace updateFileLine {

bool isCommentLine(const QByteArray &line)
{
    return line.startsWith('#');
}

packetLine convertPacketLine(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');

    packetLine result;
    // Fields that do not convert give 0: no pause, or a 0x00 byte.
    result.frameHoldTime = fields.first().toUInt(nullptr, 10);
    result.packet.reserve(fields.size() - 1);
    for (int i = 1; i < fields.size(); ++i)
        result.packet.append(char(fields.at(i).toShort(nullptr, 16) & 0xFF));
    return result;
}

int countLines(QIODevice &device)
{
    // Text mode drops every CR, so a file holding only a CR would read as
    // empty although readLine() still yields one line for it.
    const bool textMode = device.isTextModeEnabled();
    device.setTextModeEnabled(false);

    static constexpr qint64 chunkSize = 64 * 1024;
    QByteArray chunk(int(chunkSize), Qt::Uninitialized);
    int lines = 0;
    char lastByte = '\n';
    qint64 length;
    while ((length = device.read(chunk.data(), chunkSize)) > 0) {
        lines += int(std::count(chunk.constData(), chunk.constData() + length, '\n'));
        lastByte = chunk.at(int(length - 1));
    }
    if (lastByte != '\n')
        ++lines; // a last line without a line end

    device.setTextModeEnabled(textMode);
    return lines;
}

} // namespace updateFileLine
