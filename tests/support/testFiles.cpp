#include "testFiles.h"

namespace {

QTemporaryDir scratch;

} // namespace

QString scratchPath(const QString &name)
{
    return scratch.filePath(name);
}

QString writeUpdateFile(const QByteArray &contents, const QString &name)
{
    static int written = 0;
    const QString path = scratchPath(name.isEmpty() ? QStringLiteral("update-%1.fwb").arg(++written) : name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return QString();
    return path;
}
