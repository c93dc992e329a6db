#include "frameDecoder.h"

#include <QList>

namespace {

qint64 microsecondsBetween(qint64 fromNs, qint64 toNs)
{
    return (toNs - fromNs) / 1000;
}

struct frameBuilder {
    decodedFrame frame;
    qint64 breakOnEndNs = -1;
    qint64 breakOffEndNs = -1;
};

struct packetLine {
    quint32 holdTimeMs = 0;
    QByteArray packet;
};

QVector<packetLine> packetLines(const QByteArray &contents)
{
    QList<QByteArray> lines = contents.split('\n');
    // A trailing LF ends the last line; it does not start another one.
    if (lines.last().isEmpty())
        lines.removeLast();

    QVector<packetLine> packets;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        packetLine packet;
        packet.holdTimeMs = fields.first().toUInt(nullptr, 10);
        for (int i = 1; i < fields.size(); ++i)
            packet.packet.append(char(fields[i].toShort(nullptr, 16) & 0xFF));
        packets.append(packet);
    }
    return packets;
}

template<typename perFrame>
void forEachFrame(const QByteArray &contents, int lastPacketLength, perFrame emitFrame)
{
    for (const packetLine &line : packetLines(contents)) {
        const QByteArray frame = QByteArray(1, '\0') + line.packet;
        const int sends = line.packet.size() != lastPacketLength ? 6 : 1;
        for (int send = 1; send <= sends; ++send)
            emitFrame(frame, send == sends ? line.holdTimeMs : 0);
        lastPacketLength = line.packet.size();
    }
}

} // namespace

QVector<decodedFrame> decodeFrames(const QVector<dmxShim::event> &events)
{
    using dmxShim::event;
    QVector<decodedFrame> frames;
    frameBuilder current;
    bool inFrame = false;

    for (const event &e : events) {
        switch (e.type) {
        case event::BreakOn:
            if (inFrame) {
                if (current.frame.writeEndNs >= 0)
                    current.frame.gapUs = microsecondsBetween(current.frame.writeEndNs, e.startNs);
                frames.append(current.frame);
            }
            current = frameBuilder();
            current.frame.breakStartNs = e.startNs;
            current.breakOnEndNs = e.endNs;
            inFrame = true;
            break;
        case event::BreakOff:
            if (inFrame && current.breakOffEndNs < 0) {
                current.frame.breakUs = microsecondsBetween(current.breakOnEndNs, e.startNs);
                current.breakOffEndNs = e.endNs;
            }
            break;
        case event::Write:
            if (!inFrame || e.bytes.isEmpty())
                break;
            if (current.frame.markUs < 0 && current.breakOffEndNs >= 0)
                current.frame.markUs = microsecondsBetween(current.breakOffEndNs, e.startNs);
            current.frame.bytes += e.bytes;
            current.frame.writeEndNs = e.endNs;
            break;
        default:
            break;
        }
    }
    if (inFrame)
        frames.append(current.frame);
    return frames;
}

QVector<QByteArray> frameBytes(const QVector<decodedFrame> &frames)
{
    QVector<QByteArray> bytes;
    for (const decodedFrame &frame : frames)
        bytes.append(frame.bytes);
    return bytes;
}

QVector<QByteArray> expectedWireFrames(const QByteArray &updateFileContents, int lastPacketLength)
{
    QVector<QByteArray> frames;
    forEachFrame(updateFileContents, lastPacketLength,
                 [&frames](const QByteArray &frame, quint32) { frames.append(frame); });
    return frames;
}

QVector<quint32> expectedHoldTimesMs(const QByteArray &updateFileContents, int lastPacketLength)
{
    QVector<quint32> holdTimes;
    forEachFrame(updateFileContents, lastPacketLength,
                 [&holdTimes](const QByteArray &, quint32 holdTimeMs) { holdTimes.append(holdTimeMs); });
    return holdTimes;
}
