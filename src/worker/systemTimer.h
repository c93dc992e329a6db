#ifndef SYSTEMTIMER_H
#define SYSTEMTIMER_H

#include <QtGlobal>

#include <memory>

// The time the wire waits by: a steady clock, and a sleep that returns about at a deadline, before or after it.
class waitTimer
{
public:
    virtual ~waitTimer() = default;
    virtual qint64 nowNs() = 0;
    virtual void sleepUntil(qint64 deadlineNs) = 0;
};

// The system's clock and its finest sleep, asked for for as long as this lives (a transfer): on Windows a
// high-resolution waitable timer, or else the system's timer at 1 ms, kept while the window is hidden.
class systemTimer final : public waitTimer
{
public:
    systemTimer();
    ~systemTimer() override;
    Q_DISABLE_COPY(systemTimer)

    qint64 nowNs() override;
    void sleepUntil(qint64 deadlineNs) override;

private:
    struct platform;
    std::unique_ptr<platform> system; // where the system needs anything for its fine sleeps
};

#endif // SYSTEMTIMER_H
