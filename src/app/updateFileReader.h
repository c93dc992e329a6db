#ifndef UPDATEFILEREADER_H
#define UPDATEFILEREADER_H

#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

#include "updateFileAnalysis.h"

class QThread;

// Reads an update file as the transfer will, on a thread of its own: a file of hundreds of megabytes takes
// many seconds, and the window must stay alive, show how far it is, and be able to stop it.
class updateFileReader : public QObject
{
    Q_OBJECT

public:
    explicit updateFileReader(QObject *parent = nullptr);
    // Stops what is still read, and waits for it.
    ~updateFileReader() override;

    // A reading under way is stopped first, and its analysis is never told.
    void read(const QString &path);
    void stop();

signals:
    // How much of the file the reading under way has been through, a few times a second.
    void progressed(int percent);
    void finished(const updateFileAnalysis &analysis);

private:
    struct job;
    std::shared_ptr<job> current;
    QList<QThread *> threads;
    QTimer progressTimer;
};

#endif // UPDATEFILEREADER_H
