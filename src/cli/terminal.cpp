#include "terminal.h"

#include "clockText.h"
#include "commands.h"
#include "printableText.h"
#include "stopSignals.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace terminal {

namespace {

int standardOutputError = 0; // errno of the first write that failed

void writeTo(std::FILE *stream, const QString &text, platform::encoding how)
{
    // After the first failure standard output stays silent: one report, at the end.
    if (stream == stdout && standardOutputError != 0)
        return;
    errno = 0;
    if (!platform::write(stream, text, how) && stream == stdout)
        standardOutputError = errno != 0 ? errno : EIO;
}

} // namespace

void print(std::FILE *stream, const QString &text)
{
    writeTo(stream, text, platform::encoding::terminal);
}

void printLine(std::FILE *stream, const QString &text)
{
    print(stream, text + QLatin1Char('\n'));
}

void printJson(const QJsonDocument &document)
{
    writeTo(stdout, QString::fromUtf8(document.toJson(QJsonDocument::Compact)) + QLatin1Char('\n'),
          platform::encoding::utf8);
}

QString printableLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = printableText(line);
    return lines.join(QLatin1Char('\n'));
}

void printError(const QString &text)
{
    const QString prefix = QCoreApplication::applicationName() + QStringLiteral(": ");
    printLine(stderr, prefix + printableLines(text).replace(QLatin1Char('\n'), QLatin1Char('\n') + prefix));
}

QString terminalInputHint()
{
    if (!platform::standardInputIsTerminal())
        return QString();
    return QStringLiteral("reading the update file from standard input, a terminal; ") + platform::endOfInput();
}

void startLineAfterInterrupt()
{
    if (stopSignals::isInterrupt(stopSignals::lastCaught()) && columns() > 0)
        print(stderr, QStringLiteral("\n"));
}

int exitStatus(int status)
{
    if (standardOutputError == 0)
        return status;
    printError(QStringLiteral("standard output: ") + QString::fromLocal8Bit(std::strerror(standardOutputError)));
    return qMax(status, exitCode::outputFailed);
}

} // namespace terminal

namespace {

constexpr int barWidth = 20;
constexpr int shortestBar = 5;
constexpr int shortestName = 8;
// A log file has no width: the richest form of a line always fits.
constexpr int unlimitedWidth = 1 << 20;

QString elided(const QString &name, int width)
{
    if (name.size() <= width)
        return name.leftJustified(width);
    return width > 3 ? QStringLiteral("...") + name.right(width - 3) : QString(width, QLatin1Char('.'));
}

} // namespace

progressDisplay::progressDisplay(const QStringList &ports, style how) : how(how)
{
    for (const QString &port : ports) {
        entries.append({printableText(port), {}, {}, 0});
        nameWidth = qMax(nameWidth, int(entries.constLast().port.size()));
    }
}

void progressDisplay::update(int port, const portProgress &progress)
{
    entry &shown = entries[port];
    shown.progress = progress;
    const int tenths = progress.lines > 0 ? int(progress.linesDone * 10 / progress.lines) : 10;
    if (how == style::plain && tenths > shown.tenthsShown && progress.linesDone > 0) {
        shown.tenthsShown = tenths;
        terminal::printLine(stderr, line(shown, unlimitedWidth));
    } else if (how == style::redraw && (!sinceRedraw.isValid() || sinceRedraw.elapsed() >= 100)) {
        redraw();
    }
}

void progressDisplay::ended(int port, const QString &state, const QString &failure)
{
    entries[port].state = state;
    if (!failure.isEmpty())
        tell(entries[port].port + QStringLiteral(": ") + failure);
    if (how == style::plain)
        terminal::printLine(stderr, line(entries[port], unlimitedWidth));
    if (failure.isEmpty()) // else tell() has redrawn already
        redraw();
}

void progressDisplay::tell(const QString &text)
{
    if (how != style::redraw) // a redraw starts where the block starts, and clears the echo with it
        terminal::startLineAfterInterrupt();
    terminal::print(stderr, eraseBlock() + terminal::printableLines(text) + QLatin1Char('\n'));
    redraw();
}

void progressDisplay::finish()
{
    redraw();
    if (!drawnLengths.isEmpty())
        terminal::print(stderr, QStringLiteral("\n"));
    drawnLengths.clear();
}

// The widest form that fits: the bar shrinks and goes first, then the name
// shrinks, then the words; the count and the state are never cut.
QString progressDisplay::line(const entry &port, int width) const
{
    const portProgress &p = port.progress;
    const bool running = port.state.isEmpty();
    const int percent = p.lines > 0 ? int(p.linesDone * 100 / p.lines) : 100;
    const QString numbers = QStringLiteral("%1%  %2/%3").arg(percent, 3).arg(p.linesDone).arg(p.lines);
    QStringList forms{running ? QStringLiteral("opening the interface") : port.state};
    if (p.lines >= 0) {
        forms = QStringList{numbers + QStringLiteral(" lines  ")
                                + (running ? QStringLiteral("%1 elapsed, %2 left").arg(clockText(p.elapsedMs), clockText(p.remainingMs))
                                           : QStringLiteral("%1 after %2").arg(port.state, clockText(p.elapsedMs))),
                            numbers + QStringLiteral("  ") + (running ? clockText(p.remainingMs) + QStringLiteral(" left") : port.state),
                            QStringLiteral("%1/%2 %3").arg(p.linesDone).arg(p.lines).arg(port.state).trimmed()};
        // Finished says the count: the name, telling the ports apart, is worth more.
        if (port.state == QLatin1String("finished"))
            forms.append(port.state);
    }
    for (const QString &form : forms) {
        const int room = width - int(form.size()) - 1; // for the name, and the bar with its blank
        const int bar = p.lines < 0 ? 0 : qMin(barWidth, room - nameWidth - 3);
        if (bar >= shortestBar) {
            const int filled = percent * bar / 100;
            return QStringLiteral("%1 [%2%3] ").arg(port.port.leftJustified(nameWidth), QString(filled, QLatin1Char('#')),
                                                  QString(bar - filled, QLatin1Char('.'))) + form;
        }
        if (room >= qMin(nameWidth, shortestName))
            return elided(port.port, qMin(room, nameWidth)) + QLatin1Char(' ') + form;
    }
    // A line that wraps would be redrawn one row too low: the name goes, then the words at the end.
    const QString last = forms.constLast();
    const int room = qMin(nameWidth, width - int(last.size()) - 1);
    return (room > 0 ? elided(port.port, room) + QLatin1Char(' ') + last : last).left(qMax(width, 0));
}

QString progressDisplay::eraseBlock()
{
    // Back to the start of the block's first row, and clear to the end of the screen.
    const int columns = terminal::columns();
    int rows = 0;
    for (const int length : qExchange(drawnLengths, {}))
        rows += qMax(1, (length + columns - 1) / columns);
    if (rows == 0)
        return QString();
    return QStringLiteral("\r") + (rows > 1 ? QStringLiteral("\x1b[%1A").arg(rows - 1) : QString()) + QStringLiteral("\x1b[J");
}

void progressDisplay::redraw()
{
    if (how != style::redraw)
        return;
    // Room for the "^C" a terminal echoes after the last line, which would wrap it.
    const int width = terminal::columns() - 3;
    QStringList lines;
    for (const entry &port : std::as_const(entries))
        lines.append(line(port, width));
    QString text = eraseBlock();
    for (const QString &shown : std::as_const(lines))
        drawnLengths.append(int(shown.size()));
    terminal::print(stderr, text + lines.join(QLatin1Char('\n')));
    sinceRedraw.start();
}
