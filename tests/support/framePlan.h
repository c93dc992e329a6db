#ifndef FRAMEPLAN_H
#define FRAMEPLAN_H

#include <QByteArray>
#include <QMetaType>
#include <QVector>

// Frames a test expects on the wire: one frame (start code included, in hex) sent so many times in a row,
// the last of them followed by a hold.
struct sentFrame
{
    QByteArray hex;
    int times = 1;
    int holdMs = 0;
};
using framePlan = QVector<sentFrame>;
Q_DECLARE_METATYPE(framePlan)

#endif // FRAMEPLAN_H
