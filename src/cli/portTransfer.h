#ifndef PORTTRANSFER_H
#define PORTTRANSFER_H

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QThread>

#include "transferEnding.h"

// One update run on one port, with the window's worker on a thread of its
// own, driven the way the window drives it. Ends exactly once.
class portTransfer : public QObject
{
    Q_OBJECT

public:
    // The worker opens the port here, as the window's does.
    portTransfer(const QString &systemLocation, const QFileInfo &file);
    ~portTransfer() override;

    void start();
    void cancel();
    bool hasEnded() const { return ended; }

signals:
    void started(int lines);
    void progressed(int linesDone);
    void endedWith(const transferEnding &ending);

    // To the worker.
    void startSending();
    void cancelSending();

private:
    void lengthKnown(int lines);
    void stepDone(int steps);
    void portError(qlonglong code);
    void sendError(const QString &text);
    void end(const transferEnding &ending);

    QString filePath;
    QThread thread;
    int linesDone = 0;
    bool sending = false;
    bool ended = false;
};

#endif // PORTTRANSFER_H
