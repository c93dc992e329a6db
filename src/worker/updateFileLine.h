#ifndef UPDATEFILELINE_H
#define UPDATEFILELINE_H

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// One line of an update file turned into what goes on the wire.
namespace updateFileLine {

// A line whose first byte is '#'.
bool isCommentLine(const QByteArray &line);

struct packetLine
{
    quint32 frameHoldTime = 0; // milliseconds to wait after the frame
    QByteArray packet;         // data bytes, start code not included
};

// Converts a packet line (line end included or not) into its hold time and bytes.
packetLine convertPacketLine(const QByteArray &line);

// Counts the lines that reading the device line by line from its current
// position would yield, without holding a whole line in memory.
int countLines(QIODevice &device);

} // namespace updateFileLine

#endif // UPDATEFILELINE_H
