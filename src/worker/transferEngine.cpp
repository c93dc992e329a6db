#include "serialPortThread.h"
#include "updateFileLine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QThread>
#include <QTime>

namespace {
// Short enough that a cancel request during a long hold is seen at once.
constexpr qint64 holdSliceMicroseconds = 5000;
}

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

    emit updateFileLength(updateFileLine::countLines(file));
    file.seek(0);

    // Per transfer, so the same file always puts the same frames on the wire.
    int lastPacketLength = 0;

    while (!file.atEnd() && !cancelRequested) {
        const QByteArray line = file.readLine();
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

    file.close();
    if (cancelRequested)
        emit canceled();
    else
        emit finished();
}

bool serialPortThread::holdFrame(quint32 milliseconds)
{
    // Hold times run up to 49 days; wait in slices and look for a cancel request.
    const QDeadlineTimer deadline(qint64(milliseconds), Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        QThread::usleep(
            static_cast<unsigned long>(qMin(deadline.remainingTimeNSecs() / 1000 + 1, holdSliceMicroseconds)));
        deliverPendingEvents();
        if (cancelRequested)
            return false;
    }
    return true;
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
