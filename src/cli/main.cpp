// orvana-firmware-tool: the command line, its help and its exit status. Each command and option is described
// once, here: the parser and --help are built from these tables, and the manual page from --help.
#include "commands.h"
#include "stopSignals.h"
#include "terminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <csignal>
#include <utility>

namespace {

constexpr int helpWidth = 80;
constexpr int helpIndent = 23; // where the descriptions of the commands and options start

struct toolCommand
{
    QString name, arguments, summary;
};

const QList<toolCommand> &toolCommands()
{
    static const QList<toolCommand> commands{
        {QStringLiteral("ports"), QString(),
         QStringLiteral("The interfaces the window's Interfaces menu lists, top entry first, and whether you may open them.")},
        {QStringLiteral("inspect"), QStringLiteral("FILE"),
         QStringLiteral("What an update with FILE would send, without an interface: header, line counts, frames, "
                        "wire time, SHA-256, warnings.")},
        {QStringLiteral("send"), QStringLiteral("FILE --port NAME..."),
         QStringLiteral("Sends FILE to every named interface at once. %1 cancels once the frame in flight is out; "
                        "Ctrl-C again quits at once.").arg(stopSignals::ways())},
        {QStringLiteral("history"), QString(),
         QStringLiteral("The updates of the window and the tool, newest first: the fixture and version, the interface, "
                        "when, how many lines went out, and how each ended: finished, canceled, failed, interrupted "
                        "(the program ended before the update did, so the fixture may hold part of it) or running.")},
    };
    return commands;
}

struct toolOption
{
    QCommandLineOption option;
    QStringList commands; // those that take it; empty: the tool itself, before any command
};

const QList<toolOption> &toolOptions()
{
    const QStringList all{QStringLiteral("ports"), QStringLiteral("inspect"), QStringLiteral("send"), QStringLiteral("history")};
    const QStringList files{QStringLiteral("inspect"), QStringLiteral("send")}, send{QStringLiteral("send")};
    const QStringList history{QStringLiteral("history")};
    static const QList<toolOption> options{
        {{QStringLiteral("all"), QStringLiteral("also the ports the menu leaves out")}, {QStringLiteral("ports")}},
        {{QStringLiteral("json"), QStringLiteral("JSON on standard output, one document a line: the list, the report, "
                                                 "the events or the updates, and an error too")}, all},
        {{QStringLiteral("strict"), QStringLiteral("a file with warnings is refused (65)")}, files},
        {{QStringLiteral("expect-sha256"), QStringLiteral("the file is refused (65) unless its SHA-256 is HEX"),
          QStringLiteral("HEX")}, files},
        {{QStringLiteral("port"), QStringLiteral("an interface by name (ttyUSB0), path or link "
                                                 "(/dev/serial/by-id/...); send: each interface once; history: only "
                                                 "the updates through it"), QStringLiteral("NAME")}, send + history},
        {{QStringLiteral("last"), QStringLiteral("only the N newest updates"), QStringLiteral("N")}, history},
        {{QStringLiteral("quiet"), QStringLiteral("no progress, only what goes wrong")}, send},
        {{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("this help")}, all + QStringList{QString()}},
        {{QStringLiteral("version"), QStringLiteral("the version")}, {QString()}},
    };
    return options;
}

struct statusMeaning
{
    int code;
    QString meaning;
};

const QList<statusMeaning> &exitStatuses()
{
    static const QList<statusMeaning> statuses{
        {exitCode::finished, QStringLiteral("everything finished")},
        {exitCode::transferFailed, QStringLiteral("a transfer failed on the way (port error, file changed while sent)")},
        {exitCode::usage, QStringLiteral("usage error (also: one interface named twice)")},
        {exitCode::fileRefused, QStringLiteral("the file is refused: too long a line, too many lines, over 64 MiB from a "
                                               "pipe, nothing to send (send), another SHA-256 than expected; with --strict, "
                                               "warnings")},
        {exitCode::fileUnreadable, QStringLiteral("the file cannot be opened; history: the history cannot be read")},
        {exitCode::interfaceUnavailable, QStringLiteral("an interface cannot be opened or set up (missing, busy, no "
                                                        "permission, not a serial interface, DTR, no break)")},
        {exitCode::outputFailed, QStringLiteral("standard output could not be written")},
        {exitCode::canceled, QStringLiteral("canceled by ") + stopSignals::ways()},
    };
    return statuses;
}

// A term and its description: the description wrapped at helpWidth and indented to 'indent', below the term
// where the term leaves no room.
QString helpEntry(const QString &term, const QString &description, int indent = helpIndent)
{
    const QString margin(indent, QLatin1Char(' '));
    QString text, line = QStringLiteral("  ") + term;
    if (line.size() + 2 > indent)
        text = std::exchange(line, margin) + QLatin1Char('\n');
    line = line.leftJustified(indent);
    for (const QString &word : description.split(QLatin1Char(' '))) {
        if (line.size() > indent && line.size() + 1 + word.size() > helpWidth)
            text += std::exchange(line, margin) + QLatin1Char('\n');
        line += (line.size() > indent ? QStringLiteral(" ") : QString()) + word;
    }
    return text + line + QLatin1Char('\n');
}

QString helpText()
{
    QString text = QStringLiteral("Usage: %1 COMMAND [OPTIONS]\n\n"
                                  "Lists DMX512 interfaces, checks update files and sends them, as the\n"
                                  "Orvana Firmware Updater's window does, from a terminal or a script.\n\nCommands:\n")
                       .arg(QCoreApplication::applicationName());
    for (const toolCommand &command : toolCommands())
        text += helpEntry((command.name + QLatin1Char(' ') + command.arguments).trimmed(), command.summary);
    text += QStringLiteral("\nFILE \"-\" is standard input; a pipe or a FIFO is read once (64 MiB at most).\n"
                           "Results go to standard output; progress, warnings, errors to standard error.\n\nOptions:\n");
    for (const toolOption &each : toolOptions()) {
        QStringList names, takers = each.commands;
        for (const QString &name : each.option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        // Which commands take it, unless every one does.
        takers.removeAll(QString());
        const bool everyCommand = takers.isEmpty() || takers.size() == toolCommands().size();
        const QString prefix = everyCommand ? QString() : takers.join(QStringLiteral(", ")) + QStringLiteral(": ");
        const QString value = each.option.valueName();
        text += helpEntry(names.join(QStringLiteral(", ")) + (value.isEmpty() ? QString() : QLatin1Char(' ') + value),
                          prefix + each.option.description());
    }
    text += QStringLiteral("\nExit status (with several ports the highest wins):\n");
    for (const statusMeaning &status : exitStatuses())
        text += helpEntry(QString::number(status.code), status.meaning, 7);
    return text;
}

int printHelp()
{
    terminal::print(stdout, helpText());
    return exitCode::finished;
}

// With --json a script reads standard output alone: the error is a JSON document there too.
int usageError(const QString &text, bool json)
{
    terminal::printError(text);
    terminal::printLine(stderr, QStringLiteral("Try '%1 --help'.").arg(QCoreApplication::applicationName()));
    if (json)
        terminal::printJson(QJsonDocument(QJsonObject{{"error", text}, {"exitCode", exitCode::usage}}));
    return exitCode::usage;
}

int runCommand(const QString &command, const QStringList &arguments, const QByteArrayList &rawArguments)
{
    const bool json = arguments.contains(QStringLiteral("--json"));
    QCommandLineParser parser;
    for (const toolOption &each : toolOptions()) {
        if (each.commands.contains(command))
            parser.addOption(each.option);
    }
    const auto isSet = [&](const char *name) { return parser.isSet(QLatin1String(name)); };
    if (!parser.parse(arguments))
        return usageError(command + QStringLiteral(": ") + parser.errorText(), json);
    if (isSet("help"))
        return printHelp();
    const QStringList given = parser.positionalArguments();
    const bool ports = command == QLatin1String("ports"), history = command == QLatin1String("history");
    if (given.size() != (ports || history ? 0 : 1))
        return usageError(given.isEmpty() ? command + QStringLiteral(": no update file given")
                                          : QStringLiteral("%1: unexpected argument '%2'").arg(command, given.last()), json);
    if (ports)
        return portsCommand(isSet("all"), json);
    if (history) {
        const int last = isSet("last") ? parser.value(QStringLiteral("last")).toInt() : 0;
        if (isSet("last") && last <= 0)
            return usageError(QStringLiteral("history: --last needs a number above 0"), json);
        return historyCommand({json, last, parser.values(QStringLiteral("port"))});
    }
    const QString expected = isSet("expect-sha256") ? parser.value(QStringLiteral("expect-sha256")) : QString();
    if (isSet("expect-sha256") && !QRegularExpression(QStringLiteral("^[0-9a-fA-F]{64}$")).match(expected).hasMatch())
        return usageError(command + QStringLiteral(": --expect-sha256 needs 64 hexadecimal digits"), json);
    const fileChecks checks{isSet("strict"), expected.toLower().toLatin1()};
    const updateFileArgument file = updateFileArgumentFor(given.first(), rawArguments);
    if (command == QLatin1String("inspect"))
        return inspectCommand(file, json, checks);
    const sendOptions options{file, parser.values(QStringLiteral("port")), json, isSet("quiet"), checks};
    if (options.ports.isEmpty())
        return usageError(QStringLiteral("send: no --port given"), json);
    // A second worker on one interface would find it busy, or, where the lock cannot tell, mix two updates.
    const QString fault = portNamingFault(options.ports);
    return fault.isEmpty() ? sendCommand(options) : usageError(QStringLiteral("send: ") + fault, json);
}

int runCommandLine(const QStringList &arguments, const QByteArrayList &rawArguments)
{
    QCommandLineParser parser;
    // Whatever follows the command is the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    for (const toolOption &each : toolOptions()) {
        if (each.commands.contains(QString()))
            parser.addOption(each.option);
    }
    const bool json = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments))
        return usageError(parser.errorText(), json);
    if (parser.isSet(QStringLiteral("help")))
        return printHelp();
    if (parser.isSet(QStringLiteral("version"))) {
        terminal::printLine(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return exitCode::finished;
    }
    const QStringList rest = parser.positionalArguments();
    const QString command = rest.value(0);
    for (const toolCommand &known : toolCommands()) {
        if (known.name == command)
            return runCommand(command, QStringList{arguments.value(0)} + rest.mid(1), rawArguments);
    }
    return usageError(command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command '%1'").arg(command),
                      json);
}

} // namespace

int main(int argc, char *argv[])
{
    terminal::prepareStandardStreams();
#ifdef SIGPIPE
    // Output that cannot be written is told at the end; it never stops a transfer.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // As given: a file name that the locale's encoding cannot spell is lost in the decoded arguments.
    QByteArrayList rawArguments;
    for (int index = 0; index < argc; ++index)
        rawArguments << QByteArray(argv[index]);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvana-firmware-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(UPDATER_VERSION));
    // The worker narrates every frame in debug lines; they would bury the progress.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return terminal::exitStatus(runCommandLine(application.arguments(), rawArguments));
}
