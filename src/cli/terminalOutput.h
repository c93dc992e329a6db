#ifndef TERMINALOUTPUT_H
#define TERMINALOUTPUT_H

#include <QString>

#include <cstdio>

// Text to standard output and standard error, in the terminal's encoding.
namespace terminalOutput {

void print(std::FILE *stream, const QString &text);
void printLine(std::FILE *stream, const QString &text);
// "orvana-firmware-tool: text" on standard error.
void printError(const QString &text);

bool isTerminal(std::FILE *stream);
// Columns of the terminal behind the stream; 80 when it does not say.
int columns(std::FILE *stream);

} // namespace terminalOutput

#endif // TERMINALOUTPUT_H
