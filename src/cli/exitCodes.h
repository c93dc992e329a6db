#ifndef EXITCODES_H
#define EXITCODES_H

// What the tool's exit status tells a script. With several ports the highest wins,
// so the codes are ordered by how much a script needs to know of them.
namespace exitCode {

constexpr int finished = 0;
constexpr int transferFailed = 1;
constexpr int usage = 2;
constexpr int fileRefused = 65;
constexpr int fileUnreadable = 66;
constexpr int interfaceUnavailable = 69;
constexpr int canceled = 130;

struct meaning
{
    int code;
    const char *text;
};

// For --help; the README and the manual page say the same.
constexpr meaning meanings[] = {
    {finished, "everything finished"},
    {transferFailed, "a transfer failed on the way (port error, file changed while sent)"},
    {usage, "usage error"},
    {fileRefused, "the file is refused (with --strict: it has warnings)"},
    {fileUnreadable, "the file cannot be opened"},
    {interfaceUnavailable, "an interface cannot be opened or set up (missing, busy, no permission, DTR)"},
    {canceled, "canceled by Ctrl-C or SIGTERM"},
};

} // namespace exitCode

#endif // EXITCODES_H
