#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

// The updater's command line before its application object exists, which needs a display; each platform's own.
namespace commandLine {

// As the user typed them, the program's name first.
QStringList arguments(int argc, char *argv[]);
// Help, the version or a usage error where the user sees it: on Linux standard output, or standard error for an
// error. A Windows program with a window has neither: there it goes where the output was sent, else to the
// console the program was started from, else to a message box. Whether it was shown.
bool tell(const QString &text, bool error);

} // namespace commandLine

#endif // COMMANDLINE_H
