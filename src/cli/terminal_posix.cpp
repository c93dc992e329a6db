#include "terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace terminal {

void prepareStandardStreams()
{
    // open() takes the lowest free descriptor: the closed one. Read-only, what is written there fails as before.
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1)
            open("/dev/null", O_RDONLY);
    }
}

int columns()
{
    winsize size{};
    if (isatty(STDERR_FILENO) != 1)
        return 0;
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

namespace platform {

bool write(std::FILE *stream, const QString &text, encoding how)
{
    const QByteArray bytes = how == encoding::utf8 ? text.toUtf8() : text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

bool standardInputIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

QString endOfInput()
{
    return QStringLiteral("Ctrl-D on a line of its own ends it");
}

} // namespace platform

} // namespace terminal
