#ifndef PLAINMESSAGEBOX_H
#define PLAINMESSAGEBOX_H

#include <QString>

class QMessageBox;

// Sets a box's texts to be shown as they are. They carry file names, a file's
// own words and device names, and a QLabel would render what looks like markup.
void setPlainTexts(QMessageBox &box, const QString &text, const QString &informativeText = QString());

// A file's text as it may be shown: control and format characters (a bidi
// override turns a name around) become U+FFFD.
QString shownText(const QString &text);

#endif // PLAINMESSAGEBOX_H
