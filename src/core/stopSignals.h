#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// Ctrl-C, SIGTERM and SIGHUP (a closed terminal, a dropped ssh session, a logout), told to the event loop the
// moment they arrive: a program that is sending frames stops at a frame boundary instead of dying inside one.
// After the first Ctrl-C a second one ends the program at once, as an operator who presses it twice means.
// One object at a time; it catches from its construction to its destruction.
class stopSignals : public QObject
{
    Q_OBJECT

public:
    explicit stopSignals(QObject *parent = nullptr);
    ~stopSignals() override;

    // The last signal caught, for code that runs outside the event loop; 0 while none has come.
    static int lastCaught();
    // "Ctrl-C", "SIGTERM" or "SIGHUP".
    static QString name(int signalNumber);

signals:
    void signalCaught(int signalNumber);

private:
    void takeCaughtSignals();

    QSocketNotifier *notifier = nullptr;
    QTimer *poll = nullptr; // where there is no pipe to wake the event loop
};

#endif // STOPSIGNALS_H
