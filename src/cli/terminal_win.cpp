#include "terminal.h"

#include <cstdlib>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace terminal {

namespace {

HANDLE handleOf(std::FILE *stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

DWORD consoleModeBefore = 0;
bool redraws = false; // the console on standard error takes escape sequences

void restoreConsoleMode()
{
    SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), consoleModeBefore);
}

// WriteConsoleW takes at most this many characters at a time on older Windows.
constexpr int consoleChunk = 8192;

bool writeToConsole(HANDLE console, const QString &text)
{
    for (int at = 0; at < text.size(); at += consoleChunk) {
        const QString chunk = text.mid(at, consoleChunk);
        DWORD written = 0;
        if (!WriteConsoleW(console, reinterpret_cast<const wchar_t *>(chunk.utf16()), DWORD(chunk.size()), &written, nullptr))
            return false;
    }
    return true;
}

} // namespace

void prepareStandardStreams()
{
    // Line ends as on Linux: what a script reads is the same bytes on both.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Windows 10 and later; an older console shows the progress as plain lines instead.
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    if (!GetConsoleMode(console, &consoleModeBefore))
        return;
    redraws = (consoleModeBefore & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        || SetConsoleMode(console, consoleModeBefore | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    // The console is the command prompt's too.
    if (redraws && !(consoleModeBefore & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        std::atexit(restoreConsoleMode);
}

int columns()
{
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!redraws || !GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen))
        return 0;
    return screen.srWindow.Right - screen.srWindow.Left + 1;
}

namespace platform {

// A console takes characters, whatever its code page; a file or a pipe gets UTF-8.
bool write(std::FILE *stream, const QString &text, encoding)
{
    const HANDLE handle = handleOf(stream);
    if (isConsole(handle))
        return std::fflush(stream) == 0 && writeToConsole(handle, text);
    const QByteArray bytes = text.toUtf8();
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

bool standardInputIsTerminal()
{
    return isConsole(GetStdHandle(STD_INPUT_HANDLE));
}

QString endOfInput()
{
    return QStringLiteral("Ctrl-Z on a line of its own, then Enter, ends it");
}

} // namespace platform

} // namespace terminal
