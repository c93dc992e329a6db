#ifndef LINESCHEDULE_H
#define LINESCHEDULE_H

#include <QtGlobal>

#include <limits>
#include <memory>

class waitTimer;

// When the line may carry the next break, and waits that end on time.
//
// write() returns once a frame's bytes are queued, and they still need their character time on the line.
// Instead of sleeping that time away at once, the worker notes when the bytes are out and waits for it just
// before the next break; the same goes for the hold after a line. Whatever the transfer does in between
// (delivering events, debug lines, reading the next line) then overlaps the time the line needs anyway
// instead of adding to it.
//
// A wait sleeps only until as long before its deadline as the system's sleeps have lately returned late, and
// spins the rest: where the timer is coarse (Windows' 15.6 ms ticks), that costs processor time, not time on
// the line.
class lineSchedule
{
public:
    // Waits by the system's timer, or by the one given.
    lineSchedule();
    explicit lineSchedule(std::unique_ptr<waitTimer> timer);
    ~lineSchedule();

    // Waits the given time from now; ends on time, never early.
    void wait(quint32 microseconds);
    // For polls: sleeps about the given time where the system's sleeps return about on time, or else gives the
    // processor to other threads for a moment; never spins.
    void nap(quint32 microseconds);

    // The frame's characters, start code included, are with the adapter from now on, and need their time on
    // the line from here.
    void frameWritten(qint64 characters);
    void holdAfterFrame(quint32 milliseconds);

    // Sleeps one slice of the hold; false once only its last stretch is left, which the next break waits out.
    bool sleepSliceOfHold();
    void waitForNextBreak();
    void waitForLastFrame();

private:
    Q_DISABLE_COPY(lineSchedule)

    void waitUntil(qint64 deadlineNs);
    void sleepNear(qint64 targetNs);
    void spinUntil(qint64 deadlineNs);
    qint64 sleepMarginNs(qint64 nowNs) const;

    std::unique_ptr<waitTimer> timer;
    qint64 bytesOutNs = 0;
    qint64 nextBreakNs = 0;

    // How late the last sleeps returned, and when.
    struct lateWake
    {
        qint64 byNs = 0;
        qint64 atNs = std::numeric_limits<qint64>::min(); // never
    };
    lateWake lateWakes[16];
    int nextLateWake = 0;
    // Whether the last spins were cut by other threads, and until when spins stay short because of it.
    bool spinsCut[16] = {};
    int nextSpin = 0;
    qint64 crowdedUntilNs = std::numeric_limits<qint64>::min();
};

#endif // LINESCHEDULE_H
