#ifndef PACKETLINECHECK_H
#define PACKETLINECHECK_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include "updateFileLine.h"

struct fileWarning
{
    qint64 line = 0;
    QString kind; // field, packetTooLong, emptyPacket, carriageReturn or header
    QString message;
};

// Warnings in line order. A broken file can hold millions; the first ones are
// kept, the rest only counted.
class warningList
{
public:
    static constexpr int kept = 1000;

    void add(qint64 line, const char *kind, const QString &message);
    // Merged in line order with the other list's, the first 'kept' of both.
    void merge(const warningList &other);
    const QVector<fileWarning> &warnings() const { return list; }
    qint64 count() const { return total; }

private:
    QVector<fileWarning> list;
    qint64 total = 0;
};

// What in a packet line (as the transfer reads it) is not written as the
// format says, and what the transfer sends instead.
void checkPacketLine(qint64 number, const QByteArray &line, const updateFileLine::packetLine &converted,
                     warningList &warnings);

#endif // PACKETLINECHECK_H
