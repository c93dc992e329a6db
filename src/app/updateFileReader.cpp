#include "updateFileReader.h"

#include <QThread>

#include <atomic>

struct updateFileReader::job
{
    QString path;
    std::atomic<bool> stopRequested{false};
    std::atomic<int> percent{0};
    updateFileAnalysis analysis; // written by the reading thread until it ends
};

updateFileReader::updateFileReader(QObject *parent) : QObject(parent)
{
    progressTimer.setInterval(100);
    connect(&progressTimer, &QTimer::timeout, this, [this] {
        if (current)
            emit progressed(current->percent);
    });
}

updateFileReader::~updateFileReader()
{
    stop();
    for (QThread *thread : qAsConst(threads)) {
        thread->wait();
        delete thread;
    }
}

void updateFileReader::read(const QString &path)
{
    stop();
    auto reading = std::make_shared<job>();
    reading->path = path;
    QThread *thread = QThread::create([reading] {
        updateFileAnalysisOptions options;
        options.stopRequested = [reading] { return reading->stopRequested.load(); };
        options.progressed = [reading](qint64 read, qint64 size) { reading->percent = size > 0 ? int(read * 100 / size) : 0; };
        reading->analysis = analyzeUpdateFile(reading->path, options);
    });
    threads.append(thread);
    current = reading;
    // Emitted on the reading thread as it ends; handled here once it has.
    connect(thread, &QThread::finished, this, [this, thread, reading] {
        threads.removeOne(thread);
        thread->wait();
        delete thread;
        if (reading != current)
            return;
        current.reset();
        progressTimer.stop();
        emit finished(reading->analysis);
    });
    thread->start();
    progressTimer.start();
}

void updateFileReader::stop()
{
    if (current)
        current->stopRequested = true;
    current.reset();
    progressTimer.stop();
}
