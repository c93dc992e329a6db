#include "wireTimeline.h"

#include "updateFileReading.h"

wireTimeline::wireTimeline(const QString &path, qint64 totalWireUs) : file(path), totalUs(totalWireUs)
{
    file.open(QIODevice::ReadOnly);
}

void wireTimeline::advanceTo(qint64 linesDone)
{
    while (linesRead < linesDone && updateFileReading::readLine(file, line)) {
        ++linesRead;
        if (!updateFileLine::isCommentLine(line))
            done.add(updateFileLine::convertPacketLine(line));
    }
}

qint64 wireTimeline::remainingMs(qint64 elapsedMs) const
{
    // Opening the port and starting the thread would weigh too much in the
    // pace of the first few frames: the ideal time is the better guess then.
    const qint64 trustedPaceUs = 1000000;
    const qint64 leftUs = qMax<qint64>(0, totalUs - done.wireTimeUs);
    if (done.wireTimeUs < trustedPaceUs)
        return leftUs / 1000;
    return qint64(double(leftUs) * double(elapsedMs) / double(done.wireTimeUs));
}
