#include "commandLine.h"

#include "exitCodes.h"
#include "inspectCommand.h"
#include "portsCommand.h"
#include "sendCommand.h"
#include "terminalOutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

const char helpText[] = R"(Usage: %1 COMMAND [OPTIONS]

Lists DMX512 interfaces, checks update files and sends them, as the
Orvana Firmware Updater's window does, from a terminal or a script.

Commands:
  ports [--all] [--json]
      The interfaces the window's Interfaces menu lists, top entry first,
      and whether you may open them.
  inspect FILE [--json] [--strict]
      What an update with FILE would send, without an interface: header,
      line counts, frames, wire time, SHA-256, warnings.
  send FILE --port NAME [--port NAME ...] [--json] [--quiet]
      Sends FILE to every named interface at once. Ctrl-C or SIGTERM
      cancels at the next frame boundary; a second Ctrl-C quits at once.

Options:
  --all          ports: also the ports the menu leaves out
  --json         ports, inspect: JSON on standard output;
                 send: JSON Lines events on standard output
  --strict       inspect: any warning gives exit code 65
  --port NAME    send: an interface, as the system names it (ttyUSB0)
                 or by its path
  --quiet        send: no progress on standard error
  -h, --help     this help
  --version      the version

Exit codes (with several ports the highest wins):
)";

int printHelp()
{
    QString text = QString::fromLatin1(helpText).arg(QCoreApplication::applicationName());
    for (const exitCode::meaning &meaning : exitCode::meanings)
        text += QStringLiteral("  %1 %2\n").arg(meaning.code, -4).arg(QLatin1String(meaning.text));
    terminalOutput::print(stdout, text);
    return exitCode::finished;
}

int usageError(const QString &text)
{
    terminalOutput::printError(text);
    terminalOutput::printLine(stderr, QStringLiteral("Try '%1 --help'.").arg(QCoreApplication::applicationName()));
    return exitCode::usage;
}

const int argumentsFit = -1;

QStringList helpNames()
{
    return {QStringLiteral("h"), QStringLiteral("help")};
}

// argumentsFit, or the exit code once the help or a complaint is printed.
int parseCommand(QCommandLineParser &parser, const QStringList &arguments, const QString &command, int files)
{
    const QCommandLineOption help(helpNames());
    parser.addOption(help);
    if (!parser.parse(arguments))
        return usageError(command + QStringLiteral(": ") + parser.errorText());
    if (parser.isSet(help))
        return printHelp();
    const QStringList given = parser.positionalArguments();
    if (given.size() < files)
        return usageError(command + QStringLiteral(": no update file given"));
    if (given.size() > files)
        return usageError(QStringLiteral("%1: unexpected argument '%2'").arg(command, given.at(files)));
    return argumentsFit;
}

int runPorts(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption all(QStringLiteral("all")), json(QStringLiteral("json"));
    parser.addOptions({all, json});
    const int parsed = parseCommand(parser, arguments, QStringLiteral("ports"), 0);
    return parsed != argumentsFit ? parsed : portsCommand(parser.isSet(all), parser.isSet(json));
}

int runInspect(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json")), strict(QStringLiteral("strict"));
    parser.addOptions({json, strict});
    const int parsed = parseCommand(parser, arguments, QStringLiteral("inspect"), 1);
    if (parsed != argumentsFit)
        return parsed;
    return inspectCommand(parser.positionalArguments().first(), parser.isSet(json), parser.isSet(strict));
}

// A second worker on the same interface would only find it busy.
QString repeatedPort(const QStringList &ports)
{
    QStringList seen;
    for (const QString &port : ports) {
        if (seen.contains(portLocation(port)))
            return port;
        seen.append(portLocation(port));
    }
    return QString();
}

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption json(QStringLiteral("json")), quiet(QStringLiteral("quiet"));
    parser.addOptions({port, json, quiet});
    const int parsed = parseCommand(parser, arguments, QStringLiteral("send"), 1);
    if (parsed != argumentsFit)
        return parsed;
    const sendOptions options{parser.positionalArguments().first(), parser.values(port), parser.isSet(json),
                              parser.isSet(quiet)};
    if (options.ports.isEmpty())
        return usageError(QStringLiteral("send: no --port given"));
    if (!repeatedPort(options.ports).isEmpty())
        return usageError(QStringLiteral("send: port %1 given twice").arg(repeatedPort(options.ports)));
    return sendCommand(options);
}

} // namespace

int runCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Whatever follows the command is the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(helpNames()), version(QStringLiteral("version"));
    parser.addOptions({help, version});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return printHelp();
    if (parser.isSet(version)) {
        terminalOutput::printLine(stdout, QCoreApplication::applicationName() + QLatin1Char(' ')
                                              + QCoreApplication::applicationVersion());
        return exitCode::finished;
    }
    const QStringList rest = parser.positionalArguments();
    const QString command = rest.value(0);
    const QStringList commandArguments = QStringList{arguments.value(0)} + rest.mid(1);
    if (command == QLatin1String("ports"))
        return runPorts(commandArguments);
    if (command == QLatin1String("inspect"))
        return runInspect(commandArguments);
    if (command == QLatin1String("send"))
        return runSend(commandArguments);
    return usageError(command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command '%1'").arg(command));
}
