#ifndef DMXTIMING_H
#define DMXTIMING_H

#include <QtGlobal>

// What one DMX512 frame needs on the line at 250 000 bit/s, 8N2.
namespace dmxTiming {

constexpr quint32 breakMicroseconds = 500;
constexpr quint32 markAfterBreakMicroseconds = 100;
// One character: 1 start, 8 data and 2 stop bits.
constexpr qint64 characterMicroseconds = 44;

// The shortest time a frame with its hold can take on the line; the start
// code is a character like any other.
constexpr qint64 frameMicroseconds(qint64 packetBytes, quint32 holdMilliseconds)
{
    return breakMicroseconds + markAfterBreakMicroseconds + (packetBytes + 1) * characterMicroseconds
        + qint64(holdMilliseconds) * 1000;
}

} // namespace dmxTiming

#endif // DMXTIMING_H
