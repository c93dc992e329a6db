#ifndef CANCELSIGNALS_H
#define CANCELSIGNALS_H

#include <QObject>

class QSocketNotifier;

// Ctrl-C and SIGTERM as a Qt signal. The handler only writes a byte to a
// pipe; everything else happens in the event loop. The first one asks for a
// cancel; after it the default action is back, so a second Ctrl-C ends the
// program at once.
class cancelSignals : public QObject
{
    Q_OBJECT

public:
    explicit cancelSignals(QObject *parent = nullptr);
    ~cancelSignals() override;

signals:
    void cancelRequested();

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};

#endif // CANCELSIGNALS_H
