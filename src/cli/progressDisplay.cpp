#include "progressDisplay.h"

#include "terminalOutput.h"

namespace {

constexpr int barWidth = 20;
constexpr qint64 redrawIntervalMs = 100;

QString clock(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    const QString minutesAndSeconds
        = QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

} // namespace

progressDisplay::progressDisplay(const QStringList &ports, style how) : how(how)
{
    for (const QString &port : ports) {
        entries.append({port, portProgress(), QString(), 0});
        nameWidth = qMax(nameWidth, int(port.size()));
    }
}

void progressDisplay::update(int port, const portProgress &progress)
{
    entries[port].progress = progress;
    if (how == style::plain)
        printPlain(entries[port]);
    else if (how == style::redraw && (!sinceRedraw.isValid() || sinceRedraw.elapsed() >= redrawIntervalMs))
        redraw();
}

void progressDisplay::ended(int port, const transferEnding &ending)
{
    entry &ended = entries[port];
    ended.state = ending.what == transferEnding::finished ? QStringLiteral("finished")
        : ending.what == transferEnding::canceled         ? QStringLiteral("canceled")
                                                          : QStringLiteral("failed");
    const QString told = ended.port + QStringLiteral(": ") + ending.message;
    const bool failed = ending.what == transferEnding::error;
    if (how == style::redraw && failed)
        printAboveBlock(told);
    else if (how == style::redraw)
        redraw();
    else if (how == style::plain || failed)
        terminalOutput::printLine(stderr, told);
}

void progressDisplay::finish()
{
    if (how == style::redraw && blockShown) {
        redraw();
        terminalOutput::print(stderr, QStringLiteral("\n"));
    }
}

QString progressDisplay::progressLine(const entry &port) const
{
    const QString name = port.port.leftJustified(nameWidth);
    const portProgress &p = port.progress;
    if (p.lines < 0)
        return name + QStringLiteral("  ") + (port.state.isEmpty() ? QStringLiteral("opening the interface") : port.state);
    const qint64 percent = p.lines > 0 ? p.linesDone * 100 / p.lines : 100;
    const int filled = int(percent * barWidth / 100);
    const QString times = port.state.isEmpty()
        ? QStringLiteral("%1 elapsed, %2 left").arg(clock(p.elapsedMs), clock(p.remainingMs))
        : QStringLiteral("%1 after %2").arg(port.state, clock(p.elapsedMs));
    return QStringLiteral("%1 [%2%3] %4%  %5/%6 lines  %7")
        .arg(name, QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('.')))
        .arg(percent, 3)
        .arg(p.linesDone)
        .arg(p.lines)
        .arg(times);
}

void progressDisplay::printPlain(entry &port)
{
    const portProgress &p = port.progress;
    const int tenths = p.lines > 0 ? int(p.linesDone * 10 / p.lines) : 10;
    if (tenths <= port.tenthsShown || p.linesDone == 0)
        return;
    port.tenthsShown = tenths;
    terminalOutput::printLine(stderr, progressLine(port));
}

QString progressDisplay::eraseBlock()
{
    if (!blockShown)
        return QString();
    blockShown = false;
    // Back to the start of the block's first line, and clear to the end of the screen.
    const int up = int(entries.size()) - 1;
    return QStringLiteral("\r") + (up > 0 ? QStringLiteral("\x1b[%1A").arg(up) : QString()) + QStringLiteral("\x1b[J");
}

void progressDisplay::printAboveBlock(const QString &text)
{
    terminalOutput::print(stderr, eraseBlock() + text + QLatin1Char('\n'));
    redraw();
}

void progressDisplay::redraw()
{
    // A line the terminal wraps would throw the way back up off by one.
    const int width = terminalOutput::columns(stderr) - 1;
    QStringList lines;
    for (const entry &port : entries)
        lines.append(progressLine(port).left(width));
    terminalOutput::print(stderr, eraseBlock() + lines.join(QLatin1Char('\n')));
    blockShown = true;
    sinceRedraw.start();
}
