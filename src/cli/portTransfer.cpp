#include "portTransfer.h"

#include "serialPortThread.h"

portTransfer::portTransfer(const QString &systemLocation, const QFileInfo &file) : filePath(file.filePath())
{
    auto *worker = new serialPortThread(systemLocation, file);
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &serialPortThread::updateFileLength, this, &portTransfer::lengthKnown);
    connect(worker, &serialPortThread::updateProgress, this, &portTransfer::stepDone);
    connect(worker, &serialPortThread::portStatusChanged, this, &portTransfer::portError);
    connect(worker, &serialPortThread::sendError, this, &portTransfer::sendError);
    connect(worker, &serialPortThread::finished, this, [this] { end(transferEnding::finishedEnding()); });
    connect(worker, &serialPortThread::canceled, this, [this] { end(transferEnding::canceledEnding()); });
    connect(this, &portTransfer::startSending, worker, &serialPortThread::startSending);
    connect(this, &portTransfer::cancelSending, worker, &serialPortThread::cancelSending);
}

portTransfer::~portTransfer()
{
    // The worker waits for its last frame to leave the adapter before it goes.
    emit cancelSending();
    thread.quit();
    thread.wait();
}

void portTransfer::start()
{
    thread.start();
    emit startSending();
}

void portTransfer::cancel()
{
    if (!ended)
        emit cancelSending();
}

void portTransfer::lengthKnown(int lines)
{
    sending = true;
    if (!ended)
        emit started(lines);
}

void portTransfer::stepDone(int steps)
{
    linesDone += steps;
    if (!ended)
        emit progressed(linesDone);
}

void portTransfer::portError(qlonglong code)
{
    // The worker never reports NoError; if it came, the run would go on, as in the window.
    if (code != 0)
        end(endingForPortError(int(code), sending));
}

void portTransfer::sendError(const QString &text)
{
    end(endingForSendError(text, filePath, sending));
}

void portTransfer::end(const transferEnding &ending)
{
    if (ended)
        return;
    ended = true;
    // As the window does: whatever the worker was still doing stops at the next frame boundary.
    emit cancelSending();
    thread.quit();
    emit endedWith(ending);
}
