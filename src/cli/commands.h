#ifndef COMMANDS_H
#define COMMANDS_H

#include <QByteArrayList>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <memory>

#include "updateFileAnalysis.h"

class QTemporaryDir;
class QTemporaryFile;

// What the tool's exit status tells a script; --help and the manual page say
// the same. With several ports the highest wins, so the codes are ordered by
// how much a script needs to know of them.
namespace exitCode {
constexpr int finished = 0;
constexpr int transferFailed = 1;
constexpr int usage = 2;
constexpr int fileRefused = 65;
constexpr int fileUnreadable = 66;
constexpr int interfaceUnavailable = 69;
constexpr int outputFailed = 74;
constexpr int canceled = 130;
} // namespace exitCode

// The status for each of the worker's failure kinds (serialPortThread::failureKind).
int exitCodeForFailure(int kind);

// ports: the interfaces the window's Interfaces menu lists, top entry first;
// with 'all' followed by the ports the menu leaves out.
int portsCommand(bool all, bool json);
QJsonArray interfaceList(bool all);

// The update file as the user named it, and the path that reaches it: the same, or a link standing in for a
// name that the locale's encoding cannot spell.
struct updateFileArgument
{
    QString name; // shown in every message
    QString path;
    std::shared_ptr<QTemporaryDir> linkFolder;
};
updateFileArgument updateFileArgumentFor(const QString &given, const QByteArrayList &rawArguments);

struct fileChecks
{
    bool strict = false;
    QByteArray expectedSha256; // lower-case hex; empty: any
};

// The file as both commands check it, before any interface is opened; input that cannot be read twice is first
// read once into a copy, which is then checked and sent. A stop signal stops the check (a stopSignals object
// must exist); a terminal on standard input is told how to end the file.
struct checkedUpdateFile
{
    updateFileAnalysis analysis;
    std::shared_ptr<QTemporaryFile> copy;
};
checkedUpdateFile checkUpdateFile(const updateFileArgument &file);
// At most this much is read from a pipe.
constexpr qint64 maxCopiedInput = 64 * 1024 * 1024;
struct fileVerdict
{
    QString refusal; // empty: the file may be sent; else its first line is what the events tell
    int status = 0;
};
fileVerdict judgeUpdateFile(const updateFileAnalysis &analysis, const fileChecks &checks, bool sending);
// The file's warnings on standard error, as "file:line: warning: ...".
void printWarnings(const updateFileAnalysis &analysis);

// inspect: what the transfer would do with the file, without a port.
int inspectCommand(const updateFileArgument &file, bool json, const fileChecks &checks);

// send: the window's update, to every port at once, one worker thread each.
struct sendOptions
{
    updateFileArgument file;
    QStringList ports; // as they were named
    bool json = false, quiet = false;
    fileChecks checks;
};
int sendCommand(const sendOptions &options);
// history: the updates recorded by the window and the tool, newest first.
struct historyOptions
{
    bool json = false;
    int last = 0; // 0: all
    QStringList ports; // only the updates through these; none: all
};
int historyCommand(const historyOptions &options);

// Why the ports cannot take one update together: an empty name, or one
// interface reached by two names (its name, its path, a link); empty when they can.
QString portNamingFault(const QStringList &ports);

#endif // COMMANDS_H
