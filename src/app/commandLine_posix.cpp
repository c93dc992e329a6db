#include "commandLine.h"

#include <QFile>

#include <cstdio>

namespace commandLine {

QStringList arguments(int argc, char *argv[])
{
    QStringList given;
    for (int index = 0; index < argc; ++index)
        given << QFile::decodeName(argv[index]);
    return given;
}

bool tell(const QString &text, bool error)
{
    std::FILE *stream = error ? stderr : stdout;
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size()) && std::fflush(stream) == 0;
}

} // namespace commandLine
