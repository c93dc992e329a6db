#ifndef PLAINMESSAGEBOX_H
#define PLAINMESSAGEBOX_H

#include <QString>

class QMessageBox;

// Sets a box's texts to be shown as they are. They carry file names, a file's
// own words and device names, and a QLabel would render what looks like markup.
void setPlainTexts(QMessageBox &box, const QString &text, const QString &informativeText = QString());

#endif // PLAINMESSAGEBOX_H
