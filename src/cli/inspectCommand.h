#ifndef INSPECTCOMMAND_H
#define INSPECTCOMMAND_H

#include <QString>

// inspect: what the transfer would do with the file, without a port.
int inspectCommand(const QString &path, bool json, bool strict);

#endif // INSPECTCOMMAND_H
