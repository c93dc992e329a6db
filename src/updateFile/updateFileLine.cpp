#include "updateFileLine.h"

#include <QList>

#include <utility>

namespace updateFileLine {

bool isCommentLine(const QByteArray &line)
{
    return line.startsWith('#');
}

packetLine convertPacketLine(const QByteArray &line)
{
    // Every blank separates two fields, so two blanks make an empty one. A
    // field that does not convert gives 0: no pause, or a 0x00 byte. The
    // conversions ignore the line end after the last field.
    QList<QByteArray> fields = line.split(' ');
    packetLine converted;
    converted.frameHoldTime = fields.takeFirst().toUInt(nullptr, 10);
    converted.packet.reserve(int(fields.size()));
    for (const QByteArray &field : std::as_const(fields))
        converted.packet.append(char(field.toShort(nullptr, 16) & 0xFF));
    return converted;
}

} // namespace updateFileLine
