// The update file's name as given on a Linux command line: bytes, which the locale may not spell.
#include "commands.h"

#include <QFile>
#include <QTemporaryDir>

#include <climits>
#include <unistd.h>

namespace {

// The name as the locale spells what it can; each byte it cannot, as \xe9.
QString shownName(const QByteArray &raw)
{
    QString shown;
    for (int at = 0; at < raw.size();) {
        int length = 4; // the longest a character takes
        while (length > 0 && QFile::encodeName(QFile::decodeName(raw.mid(at, length))) != raw.mid(at, length))
            --length;
        shown += length > 0 ? QFile::decodeName(raw.mid(at, length))
                            : QStringLiteral("\\x%1").arg(uchar(raw.at(at)), 2, 16, QLatin1Char('0'));
        at += qMax(length, 1);
    }
    return shown;
}

} // namespace

updateFileArgument updateFileArgumentFor(const QString &given, const QByteArrayList &rawArguments)
{
    // Qt decodes a name it cannot spell with a replacement character, and then opens another name: a link
    // under a name it can spell leads the analysis and the worker to the file.
    for (const QByteArray &raw : rawArguments) {
        if (QFile::decodeName(raw) != given || QFile::encodeName(given) == raw)
            continue;
        char folder[PATH_MAX];
        const QByteArray target = raw.startsWith('/') || !getcwd(folder, sizeof folder) ? raw : QByteArray(folder) + '/' + raw;
        auto links = std::make_shared<QTemporaryDir>();
        const QString link = links->filePath(QStringLiteral("update-file"));
        if (links->isValid() && symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
            return {shownName(raw), link, links};
    }
    return {given, given, nullptr};
}
