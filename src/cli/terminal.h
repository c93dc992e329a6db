#ifndef TERMINAL_H
#define TERMINAL_H

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

// Text to standard output and standard error, as their reader takes it: on Linux in the locale's encoding; on
// Windows as characters to a console and as UTF-8 to anything else. JSON is UTF-8 wherever it goes.
namespace terminal {

// Made ready before anything is written: on Linux descriptors 0 to 2 that are closed get /dev/null, so that no
// port or file the tool opens takes their place and receives its output; on Windows a console is asked to
// take the escape sequences that redraw the progress.
void prepareStandardStreams();
void print(std::FILE *stream, const QString &text);
void printLine(std::FILE *stream, const QString &text);
// One document on a line of its own.
void printJson(const QJsonDocument &document);
// Each line with its control characters written out (\x1b): text that names or quotes a file must not drive
// the terminal.
QString printableLines(const QString &text);
// "orvana-firmware-tool: text" on standard error, for each of its lines, printable.
void printError(const QString &text);
// The width of the terminal that standard error goes to; 0 when it goes elsewhere, or to a console that cannot
// redraw a line.
int columns();
// What to tell someone whose update file is read from the terminal they type into; empty when standard input
// is no terminal.
QString terminalInputHint();
// After Ctrl-C a terminal has echoed "^C" where the cursor was: the next message starts a line of its own.
void startLineAfterInterrupt();
// The status to exit with: 74 at least, and a word why, when standard output
// could not take what was written to it.
int exitStatus(int status);

// Each platform's own; what the functions above use.
namespace platform {
enum class encoding { terminal, utf8 };
// Whether all of it was taken.
bool write(std::FILE *stream, const QString &text, encoding how);
bool standardInputIsTerminal();
// How a terminal's input is ended: "Ctrl-D on a line of its own ends it".
QString endOfInput();
} // namespace platform

} // namespace terminal

struct portProgress
{
    qint64 lines = -1; // until the worker has counted the file
    qint64 linesDone = 0, elapsedMs = 0, remainingMs = 0;
};

// Progress on standard error, one entry per port: on a terminal a block of
// lines redrawn in place, elsewhere a plain line at every tenth.
class progressDisplay
{
public:
    enum class style { quiet, plain, redraw };

    progressDisplay(const QStringList &ports, style how);

    void update(int port, const portProgress &progress);
    // state: finished, canceled or failed; a failure is told at once.
    void ended(int port, const QString &state, const QString &failure);
    // A message, above the block; printable.
    void tell(const QString &text);
    void finish();

private:
    struct entry
    {
        QString port;
        portProgress progress;
        QString state; // empty while the update runs
        int tenthsShown = 0;
    };

    QString line(const entry &port, int width) const;
    QString eraseBlock();
    void redraw();

    QVector<entry> entries;
    style how;
    int nameWidth = 0;
    // The lengths of the block's lines as drawn: a terminal made narrower
    // since has wrapped them onto more rows.
    QVector<int> drawnLengths;
    QElapsedTimer sinceRedraw;
};

#endif // TERMINAL_H
