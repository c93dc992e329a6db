#ifndef FRAMEDECODER_H
#define FRAMEDECODER_H

#include "dmxShim.h"

#include <QByteArray>
#include <QVector>

// One frame as the shim saw it go out. Times in microseconds; -1 where the
// frame lacks the event to measure from (no break-off, no write, last frame).
struct decodedFrame {
    // From the return of the break-on ioctl to the entry of the break-off
    // ioctl: the time the line was certainly held in break.
    qint64 breakUs = -1;
    // From the return of the break-off ioctl to the entry of the first write.
    qint64 markUs = -1;
    // Everything written until the next break, start code included.
    QByteArray bytes;
    // From the return of the last write to the entry of the next break-on.
    qint64 gapUs = -1;
    qint64 breakStartNs = -1;
    qint64 writeEndNs = -1;
};

// Frames are cut at each successful break-on; failed calls, opens and closes
// are ignored, as are writes before the first break.
QVector<decodedFrame> decodeFrames(const QVector<dmxShim::event> &events);
// The bytes of each frame, for comparing with expectedWireFrames().
QVector<QByteArray> frameBytes(const QVector<decodedFrame> &frames);

// What one transfer of an update file should put on the wire, worked out the
// plain way: one entry per frame, start code included. lastPacketLength is the
// length the repetition rule compares the first packet with.
QVector<QByteArray> expectedWireFrames(const QByteArray &updateFileContents, int lastPacketLength = 0);

// The pause after each of those frames: 0 after the extra sends of a repeated
// packet, the line's hold time after its last send.
QVector<quint32> expectedHoldTimesMs(const QByteArray &updateFileContents, int lastPacketLength = 0);

#endif // FRAMEDECODER_H
