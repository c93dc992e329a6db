#ifndef COMMANDS_H
#define COMMANDS_H

#include <QJsonArray>
#include <QString>
#include <QStringList>

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

// ports: the interfaces the window's Interfaces menu lists, top entry first;
// with 'all' followed by the ports the menu leaves out.
int portsCommand(bool all, bool json);
QJsonArray interfaceList(bool all);

struct updateFileAnalysis;

// inspect: what the transfer would do with the file, without a port.
int inspectCommand(const QString &file, bool json, bool strict);
// The file's warnings on standard error, as "file:line: warning: ...".
void printWarnings(const updateFileAnalysis &analysis);

// send: the window's update, to every port at once, one worker thread each.
struct sendOptions
{
    QString file;
    QStringList ports; // as they were named
    bool json = false, quiet = false, strict = false;
};
int sendCommand(const sendOptions &options);
// Why the ports cannot take one update together: an empty name, or one
// interface reached by two names (its name, its path, a link); empty when they can.
QString portNamingFault(const QStringList &ports);

#endif // COMMANDS_H
