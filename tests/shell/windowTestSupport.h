#ifndef WINDOWTESTSUPPORT_H
#define WINDOWTESTSUPPORT_H

// What the window tests share: a working directory of their own, aged files
// in it, and serial ports fed to the window instead of the machine's.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <utime.h>

#include "serialPortDiscovery.h"

// The window scans its working directory as it is built.
class scratchWorkingDirectory
{
public:
    scratchWorkingDirectory() : previous(QDir::currentPath())
    {
        if (!root.isValid() || !QDir::setCurrent(root.path()))
            qFatal("no scratch working directory");
    }
    ~scratchWorkingDirectory() { QDir::setCurrent(previous); }

private:
    QTemporaryDir root;
    QString previous;
};

// A file, or with a trailing "/" a directory, last modified secondsAgo.
inline bool createAged(QString name, int secondsAgo = 60)
{
    if (name.endsWith(QLatin1Char('/'))) {
        name.chop(1);
        if (!QDir().mkdir(name))
            return false;
    } else {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly) || file.write("0 01 02\n") != 8)
            return false;
    }
    const time_t when = QDateTime::currentSecsSinceEpoch() - secondsAgo;
    const utimbuf times{when, when};
    return ::utime(QFile::encodeName(name).constData(), &times) == 0;
}

inline QList<serialPortDescription> &fedSerialPorts()
{
    static QList<serialPortDescription> ports;
    return ports;
}

// The window's next refresh lists exactly these ports.
inline void feedSerialPorts(const QList<serialPortDescription> &ports)
{
    fedSerialPorts() = ports;
    setSerialPortLister([] { return fedSerialPorts(); });
}

#endif // WINDOWTESTSUPPORT_H
