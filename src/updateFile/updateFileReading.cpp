#include "updateFileReading.h"

#include <QIODevice>

#include <algorithm>
#include <limits>

namespace updateFileReading {

namespace {

// The line's length, line end included; more than maxLineLength for a line
// that is too long, -1 at the end or on a read error.
qint64 readBoundedLine(QIODevice &device, QByteArray &line)
{
    // Room for one byte more than allowed, and for the zero readLine() adds.
    line.resize(int(maxLineLength) + 2);
    const qint64 length = device.readLine(line.data(), line.size());
    line.resize(int(qMax<qint64>(length, 0)));
    return length;
}

} // namespace

lineMeasure measureLines(QIODevice &device)
{
    lineMeasure measure;
    QByteArray line;
    qint64 length;
    while ((length = readBoundedLine(device, line)) >= 0) {
        if (length > maxLineLength) {
            measure.firstOverlongLine = measure.lines + 1;
            break;
        }
        ++measure.lines;
    }
    return measure;
}

QString openFailureText(const QString &fileName)
{
    return QStringLiteral("Couldn't Open Update file:") + fileName;
}

QString refusalText(const lineMeasure &measure, const QString &fileName)
{
    if (measure.firstOverlongLine > 0)
        return QStringLiteral("Update file line %1 is too long:").arg(measure.firstOverlongLine) + fileName;
    // The window's progress bar counts in int.
    if (measure.lines > std::numeric_limits<int>::max())
        return QStringLiteral("Update file has too many lines:") + fileName;
    return QString();
}

bool readRawLine(QIODevice &device, QByteArray &line)
{
    const qint64 length = readBoundedLine(device, line);
    return length >= 0 && length <= maxLineLength;
}

void dropCarriageReturns(QByteArray &line)
{
    line.resize(int(std::remove(line.begin(), line.end(), '\r') - line.begin()));
}

bool readLine(QIODevice &device, QByteArray &line)
{
    if (!readRawLine(device, line))
        return false;
    dropCarriageReturns(line);
    return true;
}

} // namespace updateFileReading
