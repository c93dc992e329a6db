#ifndef LINESCHEDULE_H
#define LINESCHEDULE_H

#include <QtGlobal>

// When the line may carry the next break, and waits that end on time.
//
// write() returns once a frame's bytes are queued, and they still need their character time on the line.
// Instead of sleeping that time away at once, the worker notes when the bytes are out and waits for it just
// before the next break; the same goes for the hold after a line. Whatever the transfer does in between
// (delivering events, debug lines, reading the next line) then overlaps the time the line needs anyway
// instead of adding to it.
class lineSchedule
{
public:
    lineSchedule() = default;

    // Waits the given time from now; ends on time, never early.
    static void wait(quint32 microseconds);
    // Sleeps about the given time, without spinning: for polls, where a few microseconds more do no harm.
    static void nap(quint32 microseconds);

    // The frame's characters, start code included, are with the adapter from now on, and need their time on
    // the line from here.
    void frameWritten(qint64 characters);
    void holdAfterFrame(quint32 milliseconds);

    // Sleeps one slice of the hold; false once only its last stretch is left, which the next break waits out.
    bool sleepSliceOfHold();
    void waitForNextBreak() const;
    void waitForLastFrame() const;

private:
    Q_DISABLE_COPY(lineSchedule)

    qint64 bytesOutNs = 0;
    qint64 nextBreakNs = 0;
};

#endif // LINESCHEDULE_H
