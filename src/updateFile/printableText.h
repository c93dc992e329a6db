#ifndef PRINTABLETEXT_H
#define PRINTABLETEXT_H

#include <QByteArray>
#include <QString>

// Text from an update file, or a file's name, made safe to show on a terminal or in a label: every control
// character (an escape sequence, a bell, the NULs of UTF-16 text) and every format character (a bidi override)
// is written out as \x1b or \x202e, so that a file can neither drive the terminal nor garble what is shown
// around it.
QString printableText(const QString &text);
// Bytes that ought to be ASCII, such as a packet line's fields, with every byte outside printable ASCII written
// out as above.
QString printableBytes(const QByteArray &bytes);

#endif // PRINTABLETEXT_H
