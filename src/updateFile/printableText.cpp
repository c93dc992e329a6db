#include "printableText.h"

namespace {

QString escaped(uint code)
{
    return QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
}

} // namespace

QString printableText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        // Format characters too: a right-to-left override turns a name around where it is shown.
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            shown += escaped(c.unicode());
        else
            shown += c;
    }
    return shown;
}

QString printableBytes(const QByteArray &bytes)
{
    QString shown;
    shown.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7f)
            shown += QLatin1Char(c);
        else
            shown += escaped(byte);
    }
    return shown;
}
