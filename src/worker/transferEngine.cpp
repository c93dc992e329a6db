#include "serialPortThread.h"
#include "dmxWire.h"
#include "sleepInhibitor.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QTime>

void serialPortThread::startSending()
{
    if (reportSetupFailure())
        return;

    QFile file(updateFileInfo.filePath());
    const qint64 lines = checkUpdateFile(file);
    if (lines < 0)
        return;
    // Asked for first: where the computer cannot be kept awake, that is known before the first line.
    const sleepInhibitor keepAwake([this](const QString &reason) { emit sleepNotInhibited(reason); });
    emit updateFileLength(int(lines));
    endTransfer(sendLines(file, lines), file.fileName());
}

// Opens and counts the file: the number of lines, or -1 when the file is refused before the first frame.
qint64 serialPortThread::checkUpdateFile(QFile &file)
{
    // Read without text mode: counting and sending then see the same lines, and
    // readLine() drops the carriage returns of CR LF files itself. A pipe or a
    // device cannot be read twice, and a FIFO would wait for a writer.
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly)) {
        qDebug() << "Couldn't open file" << file.errorString();
        emit sendError(updateFileReading::openFailureText(file.fileName()));
        emit transferFailed(fileUnreadable);
        return -1;
    }
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(file);
    const QString refusal = updateFileReading::refusalText(measure, file.fileName());
    if (!refusal.isEmpty()) {
        emit sendError(refusal);
        emit transferFailed(fileRefused);
        return -1;
    }
    return measure.lines;
}

serialPortThread::transferOutcome serialPortThread::sendLines(QFile &file, qint64 countedLines)
{
    // A file replaced, truncated or grown while it is sent must not end as if
    // it had been sent whole: the fixture may hold a mix of two updates.
    // size() asks the file system afresh, and fileTime() then answers from that.
    const qint64 countedSize = file.size();
    const QDateTime countedTime = file.fileTime(QFileDevice::FileModificationTime);
    const auto changed = [&] {
        return file.size() != countedSize || file.fileTime(QFileDevice::FileModificationTime) != countedTime;
    };
    file.seek(0);
    // Per transfer, not per process: the same file always puts the same
    // frames on the wire, whatever was sent before it.
    int lastPacketLength = 0;
    QByteArray line;
    qint64 linesRead = 0;

    while (!file.atEnd() && !cancelRequested) {
        if (!updateFileReading::readLine(file, line) || ++linesRead > countedLines || changed())
            return transferOutcome::fileChanged;
        const transferOutcome outcome = sendLine(line, lastPacketLength);
        if (outcome != transferOutcome::running)
            return outcome;
    }
    if (cancelRequested)
        return transferOutcome::canceled;
    // A last look: the file may have changed after its last line was read.
    return linesRead != countedLines || changed() ? transferOutcome::fileChanged : transferOutcome::finished;
}

// One line: a comment is skipped, a packet goes out with its repetitions and its hold.
serialPortThread::transferOutcome serialPortThread::sendLine(const QByteArray &line, int &lastPacketLength)
{
    if (updateFileLine::isCommentLine(line)) {
        sent->linesOut.fetch_add(1, std::memory_order_relaxed);
        qDebug() << "Skipping comment line";
        notePassed();
        return transferOutcome::running;
    }

    const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(line);
    qDebug() << "frameHoldTime" << converted.frameHoldTime;
    const int frames = updateFileLine::framesForPacket(converted.packet.size(), lastPacketLength, packetRepeats);
    lastPacketLength = int(converted.packet.size());
    for (int repeat = 1; repeat < frames; ++repeat) {
        qDebug() << "Repeating current packet";
        if (sendPacket(converted.packet) < 0)
            return transferOutcome::sendFailed;
        noteFrameSent(false);
    }
    const qint64 bytesSent = sendPacket(converted.packet);
    if (bytesSent < 0)
        return transferOutcome::sendFailed;
    noteFrameSent(true);

    deliverPendingEvents();
    if (cancelRequested || !holdFrame(converted.frameHoldTime))
        return transferOutcome::canceled;

    qDebug() << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << "Sent:" << bytesSent << "bytes";
    qDebug() << "Next package:";
    notePassed();
    return transferOutcome::running;
}

void serialPortThread::noteFrameSent(bool lastOfItsLine)
{
    sent->frames.fetch_add(1, std::memory_order_relaxed);
    if (lastOfItsLine)
        sent->linesOut.fetch_add(1, std::memory_order_relaxed);
}

void serialPortThread::notePassed()
{
    sent->linesPassed.fetch_add(1, std::memory_order_relaxed);
    emit updateProgress(1);
}

bool serialPortThread::holdFrame(quint32 milliseconds)
{
    // Holds run up to 49 days, and the operator must be able to cancel or
    // quit during one: a cancel cuts the hold short and ends the transfer.
    wire->holdAfterFrame(milliseconds);
    while (wire->sleepSliceOfHold()) {
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

// Exactly one outcome reaches the window, or it would wait for ever.
void serialPortThread::endTransfer(transferOutcome outcome, const QString &fileName)
{
    if (outcome == transferOutcome::canceled) {
        emit canceled();
        return;
    }
    if (outcome != transferOutcome::fileChanged && outcome != transferOutcome::sendFailed) {
        emit finished();
        return;
    }
    // A failed send was reported where it failed, unless the port still holds its code.
    if (outcome == transferOutcome::fileChanged)
        emit sendError(QStringLiteral("Update file changed while it was being sent:") + fileName);
    else if (serialPort->error() != QSerialPort::NoError)
        reportPortError(serialPort->error());
    emit transferFailed(failedOnTheWay);
}
