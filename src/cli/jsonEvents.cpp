#include "jsonEvents.h"

#include "terminalOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 progressIntervalMs = 100;

void write(const QJsonObject &event)
{
    const QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
    terminalOutput::print(stdout, QString::fromUtf8(line));
}

} // namespace

jsonEvents::jsonEvents(bool enabled, int ports) : enabled(enabled), lastProgressMs(ports, -progressIntervalMs)
{
}

void jsonEvents::start(const QString &name, qint64 lines, qint64 wireTimeUs)
{
    if (enabled)
        write({{"event", "start"}, {"port", name}, {"lines", lines}, {"wireTimeUs", wireTimeUs}});
}

void jsonEvents::progress(int port, const QString &name, qint64 line, qint64 lines, qint64 elapsedMs,
                          qint64 remainingMs)
{
    if (!enabled || elapsedMs - lastProgressMs[port] < progressIntervalMs)
        return;
    lastProgressMs[port] = elapsedMs;
    write({{"event", "progress"}, {"port", name}, {"line", line}, {"lines", lines}, {"elapsedMs", elapsedMs},
           {"remainingMs", remainingMs}});
}

void jsonEvents::ending(const QString &name, const transferEnding &ending)
{
    if (enabled)
        write({{"event", QLatin1String(ending.eventName())}, {"port", name}, {"message", ending.message}});
}
