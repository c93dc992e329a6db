// Any bytes as an update file: counting and reading agree on its lines, no
// line read is longer than the bound or keeps a carriage return, a packet
// line gives one byte per blank, and the header reading stays within its
// four short lines.
#include "updateFileHeader.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QBuffer>

#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer file;
    file.setData(reinterpret_cast<const char *>(data), int(size));
    file.open(QIODevice::ReadOnly);
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(file);

    file.seek(0);
    qint64 lines = 0;
    QByteArray line;
    while (updateFileReading::readLine(file, line)) {
        ++lines;
        check(line.size() <= updateFileReading::maxLineLength && !line.contains('\r'));
        if (!updateFileLine::isCommentLine(line))
            check(updateFileLine::convertPacketLine(line).packet.size() == line.count(' '));
    }
    check(lines == measure.lines);
    check(measure.firstOverlongLine == (file.atEnd() ? 0 : lines + 1));

    file.seek(0);
    readUpdateFileHeader(file);
    check(file.pos() <= 4 * 512);
    return 0;
}
