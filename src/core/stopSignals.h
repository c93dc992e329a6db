#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>
#include <QString>

class QSocketNotifier;

// The ways an operator or the system stops a program, told to the event loop the moment they come, so that a
// program that is sending frames stops at a frame boundary instead of dying inside one. On Linux: Ctrl-C,
// SIGTERM and SIGHUP (a closed terminal, a dropped ssh session, a logout). On Windows: Ctrl-C, Ctrl-Break,
// closing the console window, logoff and shutdown; for the last three Windows ends the process soon after it
// is told, so the program is held until it ends by itself or Windows ends it.
// After the first Ctrl-C a second one ends the program at once, as an operator who presses it twice means.
// One object at a time; it catches from its construction to its destruction.
class stopSignals : public QObject
{
    Q_OBJECT

public:
    explicit stopSignals(QObject *parent = nullptr);
    ~stopSignals() override;

    // What stopped the program last, for code that runs outside the event loop; 0 while nothing has.
    static int lastCaught();
    // "Ctrl-C", "SIGTERM", "Ctrl-Break", "Logoff"...
    static QString name(int stop);
    // Ctrl-C, after which a second one ends the program at once.
    static bool isInterrupt(int stop);
    // The ways to stop that this platform has, for help texts: "Ctrl-C, SIGTERM or SIGHUP".
    static QString ways();

signals:
    // 'stop' is opaque: the platform's own number for it, never 0.
    void signalCaught(int stop);

private:
    QSocketNotifier *notifier = nullptr; // where a descriptor wakes the event loop
};

#endif // STOPSIGNALS_H
