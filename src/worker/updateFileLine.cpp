#include "updateFileLine.h"

#include <QIODevice>
#include <QList>

#include <algorithm>
#include <cstring>
#include <limits>

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
    return int(measureLines(device, std::numeric_limits<qint64>::max()).lines);
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
