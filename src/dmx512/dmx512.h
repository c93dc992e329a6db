#ifndef DMX512_H
#define DMX512_H

#include <QtGlobal>

// The DMX512 line (ANSI E1.11) as the updater drives it: every constant of the
// wire, defined here once.
namespace dmx512 {

constexpr qint32 baudRate = 250000;
// 8N2: values of QSerialPort's DataBits and StopBits, and no parity.
constexpr int dataBits = 8;
constexpr int stopBits = 2;
// One character on the line: a start bit, the data bits and the stop bits.
constexpr int characterBits = 1 + dataBits + stopBits;
constexpr qint64 characterMicroseconds = characterBits * 1000000 / baudRate;
static_assert(characterMicroseconds * baudRate == characterBits * 1000000, "a character lasts whole microseconds");

constexpr quint32 breakMicroseconds = 500;
constexpr quint32 markAfterBreakMicroseconds = 100;
// The byte ahead of every packet; 0x00 is dimmer data, which fixtures take firmware in.
constexpr char startCode = 0x00;
// The most bytes a frame carries after its start code.
constexpr int maxSlots = 512;

// The shortest time a frame with its hold can take on the line; the start
// code is a character like any other.
constexpr qint64 frameMicroseconds(qint64 packetBytes, quint32 holdMilliseconds)
{
    return breakMicroseconds + markAfterBreakMicroseconds + (packetBytes + 1) * characterMicroseconds
        + qint64(holdMilliseconds) * 1000;
}

} // namespace dmx512

#endif // DMX512_H
