#include "transferHarness.h"

#include "serialPortThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTimer>

transferRun::transferRun(const QString &portName, const QString &updateFilePath)
    : worker(new serialPortThread(portName, QFileInfo(updateFilePath)))
{
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &serialPortThread::portStatusChanged, this,
            [this](qlonglong status) { recordEnding(QStringLiteral("portStatus:%1").arg(status)); });
    connect(worker, &serialPortThread::sendError, this,
            [this](const QString &error) { recordEnding(QStringLiteral("sendError:") + error); });
    connect(worker, &serialPortThread::updateFileLength, this, [this](int length) { lengths.append(length); });
    connect(worker, &serialPortThread::updateProgress, this, [this](int progress) {
        progressSteps.append(progress);
        if (onProgress)
            onProgress(progressSum());
    });
    connect(worker, &serialPortThread::finished, this, [this] { recordEnding(QStringLiteral("finished")); });
    connect(worker, &serialPortThread::canceled, this, [this] { recordEnding(QStringLiteral("canceled")); });
    connect(worker, &serialPortThread::sendMessage, this, [this] { ++sentMessages; });
    connect(this, &transferRun::startSending, worker, &serialPortThread::startSending);
    connect(this, &transferRun::cancelSending, worker, &serialPortThread::cancelSending);
    thread.start();
}

transferRun::~transferRun()
{
    // A worker that does not stop must not leave a running QThread behind,
    // which would abort the whole test program.
    if (!stop(30000))
        qFatal("transfer worker did not stop");
}

void transferRun::start()
{
    emit startSending();
}

void transferRun::cancel()
{
    emit cancelSending();
}

bool transferRun::waitForEnd(int timeoutMs)
{
    // Asleep in an event loop: a polling wait would take a core from the worker.
    if (endings.isEmpty()) {
        QEventLoop loop;
        connect(this, &transferRun::transferEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return !endings.isEmpty();
}

bool transferRun::stop(int timeoutMs)
{
    thread.quit();
    if (!thread.wait(unsigned(timeoutMs)))
        return false;
    QCoreApplication::sendPostedEvents(this);
    return true;
}

int transferRun::progressSum() const
{
    int sum = 0;
    for (int step : progressSteps)
        sum += step;
    return sum;
}

void transferRun::recordEnding(const QString &ending)
{
    endings.append(ending);
    emit transferEnded();
}

namespace {
QMutex captureMutex;
QStringList capturedLines;
QtMessageHandler previousHandler = nullptr;
}

debugCapture::debugCapture()
{
    const QMutexLocker locker(&captureMutex);
    capturedLines.clear();
    previousHandler = qInstallMessageHandler(handler);
}

debugCapture::~debugCapture()
{
    qInstallMessageHandler(previousHandler);
}

QStringList debugCapture::lines() const
{
    const QMutexLocker locker(&captureMutex);
    return capturedLines;
}

void debugCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        const QMutexLocker locker(&captureMutex);
        capturedLines.append(message);
    } else if (previousHandler) {
        previousHandler(type, context, message);
    }
}

const QByteArray workedExample("#application\n#Vendor\n#Fixture\n#v1.04\n40 00 FF 10\n# second block\n"
                               "25 7F 80 81\n100 01\n");

QString updateFileWriter::write(const QByteArray &contents)
{
    const QString path = directory.filePath(QStringLiteral("update%1.fwb").arg(++written));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray concatenated(const QVector<QByteArray> &frames)
{
    QByteArray bytes;
    for (const QByteArray &frame : frames)
        bytes += frame;
    return bytes;
}
