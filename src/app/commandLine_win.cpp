#include "commandLine.h"

#include <windows.h>
#include <shellapi.h>

namespace commandLine {

namespace {

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

bool writeTo(HANDLE handle, const QString &text)
{
    DWORD written = 0;
    if (isConsole(handle))
        return WriteConsoleW(handle, wide(text), DWORD(text.size()), &written, nullptr) != 0;
    const QByteArray bytes = text.toUtf8();
    return WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr) && written == DWORD(bytes.size());
}

} // namespace

// argv holds the names in the ANSI code page, which cannot spell every name.
QStringList arguments(int, char *[])
{
    int count = 0;
    wchar_t **given = CommandLineToArgvW(GetCommandLineW(), &count);
    QStringList arguments;
    for (int index = 0; index < count; ++index)
        arguments << QString::fromWCharArray(given[index]);
    LocalFree(given);
    return arguments;
}

bool tell(const QString &text, bool error)
{
    // Sent to a file or a pipe: the handle is there although the program has no console.
    const HANDLE sentTo = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    const DWORD type = sentTo && sentTo != INVALID_HANDLE_VALUE ? GetFileType(sentTo) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE)
        return writeTo(sentTo, text);
    // Started from a command prompt, which shows its prompt again at once: the text goes below it. Wine lends
    // the prompt's console before it is asked for.
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS);
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    const bool shown = console != INVALID_HANDLE_VALUE && writeTo(console, QLatin1Char('\n') + text);
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
    if (attached)
        FreeConsole();
    if (shown)
        return true;
    const QString title = QStringLiteral("Orvana Firmware Updater");
    return MessageBoxW(nullptr, wide(text.trimmed()), wide(title), MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION)) != 0;
}

} // namespace commandLine
