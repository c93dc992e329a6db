#include "onceReadInput.h"

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

QString lastErrorText()
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString said = QString::fromWCharArray(text ? text : L"unknown error").trimmed();
    LocalFree(text);
    return said;
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

} // namespace

onceReadInput::~onceReadInput()
{
    if (owned)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool onceReadInput::open()
{
    owned = name != QLatin1String("-");
    const HANDLE opened = owned ? CreateFileW(reinterpret_cast<const wchar_t *>(name.utf16()), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
                                : GetStdHandle(STD_INPUT_HANDLE);
    if (opened == INVALID_HANDLE_VALUE || !opened) {
        failure = owned ? lastErrorText() : QStringLiteral("no standard input");
        owned = false;
        return false;
    }
    // Piped bytes as they are: the C library's text mode would end them at the first Ctrl-Z byte. A console
    // keeps it, so that Ctrl-Z ends what is typed.
    if (!owned && !isConsole(opened))
        _setmode(_fileno(stdin), _O_BINARY);
    handle = reinterpret_cast<qintptr>(opened);
    return true;
}

qint64 onceReadInput::read(char *data, qint64 size, const std::function<bool()> &stopRequested)
{
    const HANDLE input = reinterpret_cast<HANDLE>(handle);
    // Ctrl-C ends a read of the console by itself.
    if (!owned && isConsole(input)) {
        const int length = _read(_fileno(stdin), data, unsigned(qMin<qint64>(size, 1 << 30)));
        if (length < 0)
            failure = QString::fromLocal8Bit(std::strerror(errno));
        return length;
    }
    DWORD length = DWORD(qMin<qint64>(size, 1 << 30));
    if (GetFileType(input) == FILE_TYPE_PIPE) {
        // A read of a pipe waits for the writer: the pipe is looked at instead, in short slices.
        DWORD available = 0;
        while (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) && available == 0) {
            if (stopRequested && stopRequested()) {
                stopped = true;
                return 0;
            }
            Sleep(20);
        }
        if (available == 0 && GetLastError() == ERROR_BROKEN_PIPE)
            return 0; // the writer is done
        length = qBound<DWORD>(1, available, length);
    }
    DWORD read = 0;
    if (ReadFile(input, data, length, &read, nullptr))
        return qint64(read);
    if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF)
        return 0;
    failure = lastErrorText();
    return -1;
}
