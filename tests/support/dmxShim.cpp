#include "dmxShim.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QThread>

#include <dlfcn.h>

namespace dmxShim {

namespace {

using visitor = void (*)(void *context, int type, int fd, long long startNs, long long endNs, int result, int error,
                         const char *call, const unsigned char *bytes, size_t length);

struct shimFunctions {
    void (*reset)() = nullptr;
    void (*unplugAfterFrames)(int) = nullptr;
    void (*unplugNow)() = nullptr;
    void (*failDtr)(int) = nullptr;
    void (*slowWrites)(int, int) = nullptr;
    void (*failOpen)(int) = nullptr;
    int (*dtrRaised)() = nullptr;
    long (*eventCount)(int) = nullptr;
    void (*visitEvents)(visitor, void *) = nullptr;

    bool complete() const
    {
        return reset && unplugAfterFrames && unplugNow && failDtr && slowWrites && failOpen && dtrRaised && eventCount
            && visitEvents;
    }
};

template<typename function>
void resolve(function &target, const char *name)
{
    target = reinterpret_cast<function>(dlsym(RTLD_DEFAULT, name));
}

const shimFunctions &shim()
{
    static const shimFunctions functions = [] {
        shimFunctions f;
        resolve(f.reset, "dmxshim_reset");
        resolve(f.unplugAfterFrames, "dmxshim_unplug_after_frames");
        resolve(f.unplugNow, "dmxshim_unplug_now");
        resolve(f.failDtr, "dmxshim_fail_dtr");
        resolve(f.slowWrites, "dmxshim_slow_writes");
        resolve(f.failOpen, "dmxshim_fail_open");
        resolve(f.dtrRaised, "dmxshim_dtr_raised");
        resolve(f.eventCount, "dmxshim_event_count");
        resolve(f.visitEvents, "dmxshim_visit_events");
        return f.complete() ? f : shimFunctions();
    }();
    return functions;
}

const char *const kindNames[] = { "open", "close", "break-on", "break-off", "write", "failed" };

void appendEvent(void *context, int type, int fd, long long startNs, long long endNs, int result, int error,
                 const char *call, const unsigned char *bytes, size_t length)
{
    event e;
    e.type = static_cast<event::kind>(type);
    e.fd = fd;
    e.startNs = startNs;
    e.endNs = endNs;
    e.result = result;
    e.error = error;
    e.call = QByteArray(call);
    e.bytes = QByteArray(reinterpret_cast<const char *>(bytes), int(length));
    e.pid = QCoreApplication::applicationPid();
    static_cast<QVector<event> *>(context)->append(e);
}

bool parseLogLine(const QByteArray &line, event &e)
{
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() != 9)
        return false;
    int type = 0;
    while (type <= event::Failed && fields[0] != kindNames[type])
        ++type;
    bool numbersOk[6];
    e.type = static_cast<event::kind>(type);
    e.startNs = fields[1].toLongLong(&numbersOk[0]);
    e.endNs = fields[2].toLongLong(&numbersOk[1]);
    e.result = fields[3].toInt(&numbersOk[2]);
    e.error = fields[4].toInt(&numbersOk[3]);
    e.fd = fields[5].toInt(&numbersOk[4]);
    e.pid = fields[6].toLongLong(&numbersOk[5]);
    e.call = fields[7];
    e.bytes = fields[8] == "-" ? QByteArray() : QByteArray::fromHex(fields[8]);
    for (bool ok : numbersOk) {
        if (!ok)
            return false;
    }
    return type <= event::Failed;
}

} // namespace

bool isLoaded()
{
    return shim().complete();
}

void reset()
{
    if (isLoaded())
        shim().reset();
}

void unplugAfterFrames(int frames)
{
    if (isLoaded())
        shim().unplugAfterFrames(frames);
}

void unplugNow()
{
    if (isLoaded())
        shim().unplugNow();
}

void failDtr(int errnoValue)
{
    if (isLoaded())
        shim().failDtr(errnoValue);
}

void slowWrites(int maxBytesPerWrite, int delayMicroseconds)
{
    if (isLoaded())
        shim().slowWrites(maxBytesPerWrite, delayMicroseconds);
}

void failOpen(int errnoValue)
{
    if (isLoaded())
        shim().failOpen(errnoValue);
}

QVector<event> events()
{
    QVector<event> all;
    if (isLoaded())
        shim().visitEvents(appendEvent, &all);
    return all;
}

int eventCount(event::kind type)
{
    return isLoaded() ? int(shim().eventCount(type)) : 0;
}

bool waitForEvents(event::kind type, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (eventCount(type) < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

bool dtrRaised()
{
    return isLoaded() && shim().dtrRaised() != 0;
}

QVector<event> readLog(const QString &path)
{
    QVector<event> logged;
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return logged;
    while (!log.atEnd()) {
        event e;
        // A process killed mid-line leaves a torn last line; skip it.
        if (parseLogLine(log.readLine(), e))
            logged.append(e);
    }
    return logged;
}

QString kindName(event::kind type)
{
    return QString::fromLatin1(kindNames[type]);
}

} // namespace dmxShim
