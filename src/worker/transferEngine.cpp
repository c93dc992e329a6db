#include "serialPortThread.h"
#include "updateFileLine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QTime>

#include <limits>

namespace {
// Short enough that a cancel request during a long hold is seen at once.
constexpr qint64 holdSliceMicroseconds = 5000;
}

namespace {

// What the update file looked like when its lines were counted.
struct fileSnapshot
{
    qint64 size = 0;
    QDateTime modified;

    bool operator!=(const fileSnapshot &other) const { return size != other.size || modified != other.modified; }
};

fileSnapshot snapshotOf(QFile &file)
{
    // size() asks the file system afresh, and fileTime() then answers from that.
    const qint64 size = file.size();
    return {size, file.fileTime(QFileDevice::FileModificationTime)};
}

} // namespace

void serialPortThread::startSending()
{
    if (reportSetupFailure())
        return;

    QFile file(updateFileInfo.filePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Couldn't open file" << file.errorString();
        emit sendError(QStringLiteral("Couldn't Open Update file:") + file.fileName());
        return;
    }

    const updateFileLine::lineMeasure measure = updateFileLine::measureLines(file, updateFileLine::maxLineLength);
    if (measure.firstOverlongLine > 0) {
        emit sendError(QStringLiteral("Update file line %1 is too long:").arg(measure.firstOverlongLine)
                       + file.fileName());
        return;
    }
    if (measure.lines > std::numeric_limits<int>::max()) {
        emit sendError(QStringLiteral("Update file has too many lines:") + file.fileName());
        return;
    }
    const fileSnapshot counted = snapshotOf(file);
    emit updateFileLength(int(measure.lines));
    file.seek(0);

    // Per transfer, so the same file always puts the same frames on the wire.
    int lastPacketLength = 0;

    // A file that changes under the transfer must not end as if it had been
    // sent; the bounded read keeps a line that grew meanwhile out of memory.
    QByteArray lineBuffer(int(updateFileLine::maxLineLength) + 2, Qt::Uninitialized);
    qint64 linesRead = 0;
    bool fileChanged = false;

    while (!file.atEnd() && !cancelRequested) {
        const qint64 lineLength = file.readLine(lineBuffer.data(), lineBuffer.size());
        if (lineLength < 0 || lineLength > updateFileLine::maxLineLength || ++linesRead > measure.lines
            || file.size() != counted.size) {
            fileChanged = true;
            break;
        }
        const QByteArray line(lineBuffer.constData(), int(lineLength));
        if (updateFileLine::isCommentLine(line)) {
            qDebug() << "Skipping comment line";
            emit updateProgress(1);
            continue;
        }

        const updateFileLine::packetLine packetLine = updateFileLine::convertPacketLine(line);
        qDebug() << "frameHoldTime" << packetLine.frameHoldTime;

        // Fixtures need a few frames to follow a change of packet length.
        if (packetLine.packet.size() != lastPacketLength) {
            for (int repeat = 0; repeat < packetRepeats; ++repeat) {
                qDebug() << "Repeating current packet";
                if (sendPacket(packetLine.packet) < 0) {
                    endOnFailedSend();
                    return;
                }
            }
            lastPacketLength = packetLine.packet.size();
        }
        const qint64 sent = sendPacket(packetLine.packet);
        if (sent < 0) {
            endOnFailedSend();
            return;
        }

        deliverPendingEvents();
        if (cancelRequested || !holdFrame(packetLine.frameHoldTime))
            break;

        qDebug() << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << "Sent:" << sent
                 << "bytes";
        qDebug() << "Next package:";
        emit updateProgress(1);
    }

    if (!cancelRequested && !fileChanged)
        fileChanged = linesRead != measure.lines || snapshotOf(file) != counted;
    file.close();
    if (fileChanged)
        emit sendError(QStringLiteral("Update file changed while it was being sent:") + file.fileName());
    else if (cancelRequested)
        emit canceled();
    else
        emit finished();
}

bool serialPortThread::holdFrame(quint32 milliseconds)
{
    // The hold runs from the moment the frame's bytes are out, and the next
    // break waits for its end. Hold times run up to 49 days: wait in slices and
    // look for a cancel request. The last stretch is left to the next break,
    // so that the work between two lines overlaps the hold.
    constexpr qint64 lastStretchNs = 1000000;
    frameTiming.holdAfterFrame(milliseconds);
    for (;;) {
        const qint64 stretchStartNs = frameTiming.nextBreakAtNs() - lastStretchNs;
        const qint64 nowNs = lineTiming::nowNs();
        if (nowNs >= stretchStartNs)
            return true;
        lineTiming::sleepNear(qMin(stretchStartNs, nowNs + holdSliceMicroseconds * 1000));
        deliverPendingEvents();
        if (cancelRequested)
            return false;
    }
}

void serialPortThread::deliverPendingEvents()
{
    QCoreApplication::processEvents();
    // Under the GLib event dispatcher processEvents() does not deliver queued
    // calls while one of them, this transfer, is still running.
    QCoreApplication::sendPostedEvents();
}

void serialPortThread::endOnFailedSend()
{
    const QSerialPort::SerialPortError error = serialPort->error();
    if (error != QSerialPort::NoError)
        reportPortError(error);
}
