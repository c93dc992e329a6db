#ifndef UPDATEFILELINE_H
#define UPDATEFILELINE_H

#include <QByteArray>
#include <QtGlobal>

// One line of an update file turned into what goes on the wire.
namespace updateFileLine {

// A line whose first byte is '#'; anything else, the empty line included, is a packet line.
bool isCommentLine(const QByteArray &line);

struct packetLine
{
    quint32 frameHoldTime = 0; // milliseconds to wait after the frame
    QByteArray packet;         // data bytes, start code not included
};

// Converts a packet line (line end included or not) into its hold time and bytes.
packetLine convertPacketLine(const QByteArray &line);

// Fixtures need a few frames to follow a change of packet length: a packet
// whose length differs from the one before goes out this many times more.
constexpr int extraSendsOnLengthChange = 5;

// The frames a packet takes after one of the previous length; a transfer
// starts with a previous length of 0.
constexpr int framesForPacket(qint64 packetLength, qint64 previousLength, int extraSends = extraSendsOnLengthChange)
{
    return packetLength != previousLength ? 1 + extraSends : 1;
}

} // namespace updateFileLine

#endif // UPDATEFILELINE_H
