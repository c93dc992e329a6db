// The update file's name as given on a Windows command line: UTF-16, which spells every name.
#include "commands.h"

updateFileArgument updateFileArgumentFor(const QString &given, const QByteArrayList &)
{
    return {given, given, nullptr};
}
