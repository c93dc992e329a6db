#ifndef SENDCOMMAND_H
#define SENDCOMMAND_H

#include <QString>
#include <QStringList>

struct sendOptions
{
    QString file;
    QStringList ports; // as the user named them
    bool json = false;
    bool quiet = false;
};

// send: the window's update, to every port at once, one worker thread each.
int sendCommand(const sendOptions &options);

// Where a port named as the system names it (ttyUSB0) lives; a path stays as it is.
QString portLocation(const QString &name);

#endif // SENDCOMMAND_H
