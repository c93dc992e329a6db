#ifndef PORTACCESS_H
#define PORTACCESS_H

#include <QJsonValue>
#include <QString>

// Whether the current user may open a serial device for reading and writing.
struct portAccess
{
    QJsonValue accessible; // true or false; null where the system cannot say
    QString hint;          // how to get access where there is none
};

portAccess checkPortAccess(const QString &systemLocation);

#endif // PORTACCESS_H
