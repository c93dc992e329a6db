#ifndef PROGRESSDISPLAY_H
#define PROGRESSDISPLAY_H

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>

#include "transferEnding.h"

struct portProgress
{
    qint64 lines = -1; // -1 until the worker has counted the file
    qint64 linesDone = 0;
    qint64 elapsedMs = 0;
    qint64 remainingMs = 0;
};

// Progress on standard error, one entry per port: on a terminal a block of
// lines that redraws itself, elsewhere a plain line at every tenth.
class progressDisplay
{
public:
    enum class style { quiet, plain, redraw };

    progressDisplay(const QStringList &ports, style how);

    void update(int port, const portProgress &progress);
    // Quiet, only errors are told.
    void ended(int port, const transferEnding &ending);
    void finish();

private:
    struct entry
    {
        QString port;
        portProgress progress;
        QString state; // empty while the update runs
        int tenthsShown = 0;
    };

    QString progressLine(const entry &port) const;
    void printPlain(entry &port);
    void printAboveBlock(const QString &text);
    void redraw();
    QString eraseBlock();

    QVector<entry> entries;
    style how;
    int nameWidth = 0;
    bool blockShown = false;
    QElapsedTimer sinceRedraw;
};

#endif // PROGRESSDISPLAY_H
