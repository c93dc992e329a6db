#ifndef FRAMETALLY_H
#define FRAMETALLY_H

#include <QtGlobal>

#include "updateFileLine.h"

// What packet lines, taken in file order, put on the wire: frames with the
// repetitions, packet bytes, holds and the ideal wire time.
struct frameTally
{
    qint64 frames = 0;
    qint64 packetBytes = 0; // repetitions included, start codes not
    qint64 holdTimeMs = 0;
    qint64 wireTimeUs = 0;

    void add(const updateFileLine::packetLine &line);

private:
    qint64 previousLength = 0;
};

#endif // FRAMETALLY_H
