#include "updateFileReading.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace updateFileReading {

lineMeasure measureLines(QIODevice &device)
{
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    lineMeasure measure;
    qint64 lineLength = 0; // of the line that runs on past the chunk read last
    qint64 length;
    while (lineLength <= maxLineLength && (length = device.read(chunk.data(), chunk.size())) > 0) {
        const char *const begin = chunk.constData();
        const char *const end = begin + length;
        const char *lineStart = begin;
        while (const auto *lineEnd = static_cast<const char *>(std::memchr(lineStart, '\n', size_t(end - lineStart)))) {
            lineLength += lineEnd - lineStart + 1;
            if (lineLength > maxLineLength)
                break;
            ++measure.lines;
            lineLength = 0;
            lineStart = lineEnd + 1;
        }
        if (lineLength <= maxLineLength)
            lineLength += end - lineStart;
    }
    if (lineLength > maxLineLength)
        measure.firstOverlongLine = measure.lines + 1;
    else if (lineLength > 0)
        ++measure.lines; // a last line without a line end
    return measure;
}

bool readLine(QIODevice &device, QByteArray &line)
{
    // Room for one byte more than allowed, to tell a line that is too long,
    // and for the terminating zero readLine() writes.
    line.resize(int(maxLineLength) + 2);
    const qint64 length = device.readLine(line.data(), line.size());
    if (length < 0 || length > maxLineLength) {
        line.clear();
        return false;
    }
    line.resize(int(std::remove(line.begin(), line.begin() + length, '\r') - line.begin()));
    return true;
}

} // namespace updateFileReading
