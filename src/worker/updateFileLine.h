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

// The longest line the transfer accepts, line end included. A packet holds at
// most 512 bytes, about 1.6 KB of text; a longer line is not an update file.
constexpr qint64 maxLineLength = 64 * 1024;

struct lineMeasure
{
    qint64 lines = 0;             // lines read so far, the over-long one not included
    qint64 firstOverlongLine = 0; // its number counted from 1; 0 when every line fits
};

// Counts the lines that reading the device line by line from its current
// position would yield, without holding a whole line in memory. Stops at the
// first line longer than maxLength bytes, so a file without line ends is not
// read to its end.
lineMeasure measureLines(QIODevice &device, qint64 maxLength);

} // namespace updateFileLine

#endif // UPDATEFILELINE_H
