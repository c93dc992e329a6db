#include "terminalOutput.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace terminalOutput {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

void printLine(std::FILE *stream, const QString &text)
{
    print(stream, text + QLatin1Char('\n'));
}

void printError(const QString &text)
{
    printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + text);
}

bool isTerminal(std::FILE *stream)
{
#ifdef Q_OS_UNIX
    return isatty(fileno(stream)) == 1;
#else
    Q_UNUSED(stream);
    return false;
#endif
}

int columns(std::FILE *stream)
{
#ifdef Q_OS_UNIX
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#else
    Q_UNUSED(stream);
#endif
    return 80;
}

} // namespace terminalOutput
