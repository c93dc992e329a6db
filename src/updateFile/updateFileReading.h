#ifndef UPDATEFILEREADING_H
#define UPDATEFILEREADING_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

// Reading a whole update file line by line, the same way for counting and for sending.
namespace updateFileReading {

// The longest line the transfer accepts, line end included. A packet holds at most 512 bytes, about 1.6 KB of
// text; a longer line is not an update file, and refusing it keeps a file without line ends out of memory.
constexpr qint64 maxLineLength = 64 * 1024;

struct lineMeasure
{
    qint64 lines = 0;             // lines read, the over-long one not included
    qint64 firstOverlongLine = 0; // its number counted from 1; 0 when every line fits
};

// Counts the lines from the device's current position; stops at the first
// line longer than maxLineLength, so no more than that is ever held.
lineMeasure measureLines(QIODevice &device);

// The transfer's words for a file it cannot open, and for one whose measure
// it refuses before the first frame (empty when it accepts it).
QString openFailureText(const QString &fileName);
QString refusalText(const lineMeasure &measure, const QString &fileName);

// Reads the next line as the file holds it, line end included. False at the end, on a read error, or for a
// line longer than maxLineLength.
bool readRawLine(QIODevice &device, QByteArray &line);
// The line as the transfer sees it: carriage returns dropped (files written on Windows end their lines in CR LF).
void dropCarriageReturns(QByteArray &line);
// Both in one: the next line as the transfer sends it.
bool readLine(QIODevice &device, QByteArray &line);

} // namespace updateFileReading

#endif // UPDATEFILEREADING_H
