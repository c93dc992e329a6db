#include "updateHistory.h"

#include "historyPlatform.h"
#include "serialPortThread.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QLockFile>
#include <QMetaEnum>
#include <QSerialPort>

#include <algorithm>
#include <iterator>

namespace {

// Long enough for eight tools' start records on a slow disk, short enough not to hold an update back.
constexpr int lockWaitMs = 3000;

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QDateTime timeOf(const QJsonObject &record)
{
    return QDateTime::fromString(record.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
}

// By name: Qt 5 and Qt 6 number the port's errors differently, and a name still reads when a kind is added.
template <typename Enum>
QJsonValue nameOf(int value)
{
    const char *name = QMetaEnum::fromType<Enum>().valueToKey(value);
    return name ? QJsonValue(QLatin1String(name)) : QJsonValue();
}

template <typename Enum>
int valueNamed(const QJsonValue &name, int unknown)
{
    bool known = false;
    const int value = QMetaEnum::fromType<Enum>().keyToValue(name.toString().toLatin1().constData(), &known);
    return known ? value : unknown;
}

QJsonValue failureKindName(const runRecord &run)
{
    return run.ending == runEnding::failed ? nameOf<serialPortThread::failureKind>(run.failureKind) : QJsonValue();
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue portErrorName(int error)
{
    return error == 0 ? QJsonValue() : nameOf<QSerialPort::SerialPortError>(error);
}

QJsonObject interfaceJson(const runInterface &interface)
{
    return {{"portName", interface.portName}, {"serialNumber", interface.serialNumber}, {"manufacturer", interface.manufacturer},
            {"device", interface.identity}}; // links resolved: a port named two ways is one interface
}

QJsonObject fileJson(const runRecord &run)
{
    return {{"path", run.path}, {"name", run.name}, {"size", run.size}, {"sha256", QString::fromLatin1(run.sha256)},
            {"application", run.header.application}, {"vendor", run.header.vendor}, {"fixture", run.header.fixture},
            {"version", run.header.version}};
}

runRecord fromStart(const QJsonObject &record)
{
    runRecord run;
    const auto text = [](const QJsonObject &object, const char *key) { return object.value(QLatin1String(key)).toString(); };
    run.runId = text(record, "run");
    run.program = text(record, "program");
    run.pid = qint64(record.value(QLatin1String("pid")).toDouble());
    run.started = timeOf(record);
    const QJsonObject interface = record.value(QLatin1String("interface")).toObject();
    run.interface = {text(interface, "portName"), text(interface, "serialNumber"), text(interface, "manufacturer"), QString(),
                     text(interface, "device")};
    const QJsonObject file = record.value(QLatin1String("file")).toObject();
    run.path = text(file, "path");
    run.name = text(file, "name");
    run.size = qint64(file.value(QLatin1String("size")).toDouble());
    run.sha256 = text(file, "sha256").toLatin1();
    run.header = {text(file, "application"), text(file, "vendor"), text(file, "fixture"), text(file, "version")};
    run.lines = record.value(QLatin1String("lines")).toInt();
    return run;
}

void takeCounts(runRecord &run, const QJsonObject &record)
{
    run.linesOut = record.value(QLatin1String("line")).toInt();
    run.frames = qint64(record.value(QLatin1String("frames")).toDouble());
}

void takeEnd(runRecord &run, const QJsonObject &record)
{
    takeCounts(run, record);
    run.ended = timeOf(record);
    run.ending = runWords::endingNamed(record.value(QLatin1String("ending")).toString());
    run.failureKind = valueNamed<serialPortThread::failureKind>(record.value(QLatin1String("failureKind")), -1);
    run.portError = valueNamed<QSerialPort::SerialPortError>(record.value(QLatin1String("portError")), 0);
    run.message = record.value(QLatin1String("message")).toString();
}

// A finished update of the same file through the same interface, after the run.
bool coveredSince(const QVector<runRecord> &newestFirst, int index)
{
    const runRecord &run = newestFirst.at(index);
    return std::any_of(newestFirst.cbegin(), newestFirst.cbegin() + index, [&](const runRecord &later) {
        return later.ending == runEnding::finished && later.sha256 == run.sha256 && later.interface.sameAs(run.interface);
    });
}

} // namespace

updateHistory::updateHistory(const QString &folder) : folder(folder)
{
}

QString updateHistory::defaultFolder()
{
    return historyFolder();
}

QString updateHistory::journalPath() const
{
    return folder + QStringLiteral("/history.jsonl");
}

QString updateHistory::recordStart(const runRecord &run)
{
    return append({{"record", "start"}, {"run", run.runId}, {"time", now()}, {"program", run.program}, {"pid", run.pid},
                   {"interface", interfaceJson(run.interface)}, {"file", fileJson(run)}, {"lines", run.lines}},
                  true);
}

QString updateHistory::recordProgress(const runRecord &run)
{
    return append({{"record", "progress"}, {"run", run.runId}, {"time", now()}, {"line", run.linesOut}, {"frames", run.frames}}, false);
}

QString updateHistory::recordEnd(const runRecord &run)
{
    return append({{"record", "end"}, {"run", run.runId}, {"time", now()}, {"ending", runWords::endingName(run.ending)},
                   {"line", run.linesOut}, {"frames", run.frames}, {"failureKind", failureKindName(run)},
                   {"portError", portErrorName(run.portError)}, {"message", textOrNull(run.message)}},
                  true);
}

QString updateHistory::recordNoticed(const QString &runId)
{
    return append({{"record", "noticed"}, {"run", runId}, {"time", now()}}, false);
}

std::unique_ptr<QLockFile> updateHistory::holdRunning(const QString &runId)
{
    QDir().mkpath(folder + QStringLiteral("/running"));
    auto lock = std::make_unique<QLockFile>(runningLockPath(runId));
    lock->setStaleLockTime(0);
    lock->tryLock(0);
    return lock;
}

QString updateHistory::runningLockPath(const QString &runId) const
{
    return folder + QStringLiteral("/running/") + runId + QStringLiteral(".lock");
}

// Held by a live process; a lock left by one that died is taken, and so let go.
bool updateHistory::stillRunning(const QString &runId) const
{
    QLockFile lock(runningLockPath(runId));
    lock.setStaleLockTime(0);
    return !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError;
}

// One whole line per write, under the lock: a run's records never mix with another's, and a line torn by a
// power cut before is ended first, so that it costs itself alone.
QString updateHistory::append(const QJsonObject &record, bool durable)
{
    const QFileInfo place(folder);
    if (!QDir().mkpath(folder))
        return place.exists() ? QStringLiteral("%1 is not a folder").arg(folder) : QStringLiteral("cannot make the folder %1").arg(folder);
    QLockFile lock(journalPath() + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(lockWaitMs))
        return lock.error() == QLockFile::LockFailedError ? QStringLiteral("another program holds %1.lock").arg(journalPath())
                                                          : QStringLiteral("cannot lock %1").arg(journalPath());
    QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    QFile journal(journalPath());
    const QString previous = folder + QStringLiteral("/history.1.jsonl");
    if (journal.size() + line.size() > maxJournalBytes && QFile::exists(journalPath())) {
        QFile::remove(previous);
        QFile::rename(journalPath(), previous);
    }
    if (!journal.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return journalPath() + QStringLiteral(": ") + journal.errorString();
    char last = '\n';
    if (journal.size() > 0 && (!journal.seek(journal.size() - 1) || !journal.getChar(&last)))
        return journalPath() + QStringLiteral(": ") + journal.errorString();
    if (last != '\n')
        line.prepend('\n');
    if (journal.write(line) != line.size() || (durable && !syncToDisk(journal)))
        return journalPath() + QStringLiteral(": ") + journal.errorString();
    return QString();
}

QVector<runRecord> updateHistory::runs(QStringList *warnings) const
{
    // Where the folder cannot be written the journal is read all the same, without the lock.
    QLockFile lock(journalPath() + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    lock.tryLock(lockWaitMs);
    QVector<runRecord> all;
    QHash<QString, int> byId;
    for (const QString &path : {folder + QStringLiteral("/history.1.jsonl"), journalPath()}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (int number = 1; number <= lines.size(); ++number) {
            const QByteArray &line = lines.at(number - 1);
            if (line.trimmed().isEmpty())
                continue;
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            const QString kind = record.value(QLatin1String("record")).toString(), runId = record.value(QLatin1String("run")).toString();
            if (kind.isEmpty() || runId.isEmpty()) {
                if (warnings)
                    *warnings << QStringLiteral("%1:%2: a record that does not parse is skipped").arg(path).arg(number);
                continue;
            }
            if (kind == QLatin1String("start")) {
                byId.insert(runId, all.size());
                all.append(fromStart(record));
            }
            const auto at = byId.constFind(runId);
            if (at == byId.constEnd())
                continue; // its start went with a journal rotated away
            runRecord &run = all[*at];
            if (kind == QLatin1String("progress"))
                takeCounts(run, record);
            else if (kind == QLatin1String("end"))
                takeEnd(run, record);
            else if (kind == QLatin1String("noticed"))
                run.noticed = true;
        }
    }
    for (runRecord &run : all) {
        if (run.ending == runEnding::running && !stillRunning(run.runId))
            run.ending = runEnding::interrupted;
    }
    std::reverse(all.begin(), all.end());
    return all;
}

QString updateHistory::readProblem() const
{
    QFile journal(journalPath());
    if (!journal.exists() || journal.open(QIODevice::ReadOnly))
        return QString();
    return journalPath() + QStringLiteral(": ") + journal.errorString();
}

namespace historyQueries {

QVector<runRecord> untold(const QVector<runRecord> &runs)
{
    QVector<runRecord> found;
    for (int index = 0; index < runs.size(); ++index) {
        if (!runs.at(index).noticed && runs.at(index).leftPartOfItself() && !coveredSince(runs, index))
            found << runs.at(index);
    }
    return found;
}

QVector<runRecord> uncoveredInterrupted(const QVector<runRecord> &runs, const runInterface &interface)
{
    QVector<runRecord> found;
    for (int index = 0; index < runs.size(); ++index) {
        const runRecord &run = runs.at(index);
        if (run.ending == runEnding::interrupted && run.interface.sameAs(interface) && !coveredSince(runs, index))
            found << run;
    }
    return found;
}

QJsonObject toJson(const runRecord &run)
{
    return {{"run", run.runId}, {"program", run.program}, {"pid", run.pid},
            {"started", run.started.toString(Qt::ISODateWithMs)}, {"ended", textOrNull(run.ended.toString(Qt::ISODateWithMs))},
            {"interface", interfaceJson(run.interface)}, {"file", fileJson(run)}, {"lines", run.lines},
            {"line", run.linesOut}, {"frames", run.frames}, {"ending", runWords::endingName(run.ending)},
            {"failureKind", failureKindName(run)}, {"portError", portErrorName(run.portError)}, {"message", textOrNull(run.message)}, {"noticed", run.noticed},
            {"partialUpdate", textOrNull(runWords::partialUpdate(run))}};
}

} // namespace historyQueries
