#include "frameTally.h"

#include "dmxTiming.h"

void frameTally::add(const updateFileLine::packetLine &line)
{
    const qint64 length = line.packet.size();
    const int sends = updateFileLine::framesForPacket(length, previousLength);
    previousLength = length;

    frames += sends;
    packetBytes += sends * length;
    holdTimeMs += line.frameHoldTime;
    // Only the last of the repeated frames is followed by the hold.
    wireTimeUs += (sends - 1) * dmxTiming::frameMicroseconds(length, 0)
        + dmxTiming::frameMicroseconds(length, line.frameHoldTime);
}
