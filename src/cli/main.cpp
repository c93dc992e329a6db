// orvana-firmware-tool: the command line, its help and its exit status.
#include "commands.h"
#include "terminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>

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
  send FILE --port NAME [--port NAME ...] [--json] [--quiet] [--strict]
      Sends FILE to every named interface at once. Ctrl-C, SIGTERM or
      SIGHUP cancels once the frame in flight is out; Ctrl-C again quits
      at once.

FILE "-" is standard input; a pipe or a FIFO is read once (64 MiB at most).

Options:
  --all          ports: also the ports the menu leaves out
  --json         JSON on standard output, one document a line: the list,
                 the report or the events, and an error too
  --strict       inspect, send: a file with warnings is refused (65)
  --port NAME    send: an interface by name (ttyUSB0), path or link
                 (/dev/serial/by-id/...), each interface once
  --quiet        send: no progress, only what goes wrong
  -h, --help     this help
  --version      the version

Results go to standard output; progress, warnings, errors to standard error.

Exit codes (with several ports the highest wins):
  0   everything finished
  1   a transfer failed on the way (port error, file changed while sent)
  2   usage error (also: one interface named twice)
  65  the file is refused (with --strict: it has warnings)
  66  the file cannot be opened
  69  an interface cannot be opened or set up (missing, busy, no
      permission, DTR)
  74  standard output could not be written
  130 canceled by Ctrl-C, SIGTERM or SIGHUP
)";

int printHelp()
{
    terminal::print(stdout, QString::fromLatin1(helpText).arg(QCoreApplication::applicationName()));
    return exitCode::finished;
}

int usageError(const QString &text)
{
    terminal::printError(text);
    terminal::printLine(stderr, QStringLiteral("Try '%1 --help'.").arg(QCoreApplication::applicationName()));
    return exitCode::usage;
}

int runCommand(const QString &command, const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")}), all(QStringLiteral("all")),
        json(QStringLiteral("json")), strict(QStringLiteral("strict")), quiet(QStringLiteral("quiet")),
        port(QStringLiteral("port"), QString(), QStringLiteral("NAME"));
    const bool ports = command == QLatin1String("ports"), inspect = command == QLatin1String("inspect");
    parser.addOptions(ports ? QList<QCommandLineOption>{help, all, json}
                      : inspect ? QList<QCommandLineOption>{help, json, strict}
                                : QList<QCommandLineOption>{help, port, json, quiet, strict});
    if (!parser.parse(arguments))
        return usageError(command + QStringLiteral(": ") + parser.errorText());
    if (parser.isSet(help))
        return printHelp();
    const QStringList given = parser.positionalArguments();
    if (given.size() != (ports ? 0 : 1))
        return usageError(given.isEmpty() ? command + QStringLiteral(": no update file given")
                                          : QStringLiteral("%1: unexpected argument '%2'").arg(command, given.last()));
    if (ports)
        return portsCommand(parser.isSet(all), parser.isSet(json));
    if (inspect)
        return inspectCommand(given.first(), parser.isSet(json), parser.isSet(strict));
    const sendOptions options{given.first(), parser.values(port), parser.isSet(json), parser.isSet(quiet), parser.isSet(strict)};
    if (options.ports.isEmpty())
        return usageError(QStringLiteral("send: no --port given"));
    // A second worker on one interface would find it busy, or, where the lock cannot tell, mix two updates.
    const QString fault = portNamingFault(options.ports);
    return fault.isEmpty() ? sendCommand(options) : usageError(QStringLiteral("send: ") + fault);
}

int runCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Whatever follows the command is the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")}), version(QStringLiteral("version"));
    parser.addOptions({help, version});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return printHelp();
    if (parser.isSet(version)) {
        terminal::printLine(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return exitCode::finished;
    }
    const QStringList rest = parser.positionalArguments();
    const QString command = rest.value(0);
    if (command == QLatin1String("ports") || command == QLatin1String("inspect") || command == QLatin1String("send"))
        return runCommand(command, QStringList{arguments.value(0)} + rest.mid(1));
    return usageError(command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace

int main(int argc, char *argv[])
{
    terminal::guardStandardStreams();
#ifdef SIGPIPE
    // Output that cannot be written is told at the end; it never stops a transfer.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvana-firmware-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(UPDATER_VERSION));
    // The worker narrates every frame in debug lines; they would bury the progress.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return terminal::exitStatus(runCommandLine(application.arguments()));
}
