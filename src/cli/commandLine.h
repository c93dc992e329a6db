#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QStringList>

// Parses the arguments (the program's name first), runs the command they
// name and returns the exit code.
int runCommandLine(const QStringList &arguments);

#endif // COMMANDLINE_H
