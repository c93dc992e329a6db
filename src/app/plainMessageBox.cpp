#include "plainMessageBox.h"

#include <QLabel>
#include <QMessageBox>

void setPlainTexts(QMessageBox &box, const QString &text, const QString &informativeText)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (informativeText.isEmpty())
        return;
    box.setInformativeText(informativeText);
    // The box gives its text format to its main text only.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}
