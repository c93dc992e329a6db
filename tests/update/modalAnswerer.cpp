#include "modalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

modalAnswerer::modalAnswerer()
{
    connect(&poll, &QTimer::timeout, this, &modalAnswerer::answerActiveModal);
    poll.start(10);
}

void modalAnswerer::answerNextFileDialogWith(const QString &path)
{
    fileAnswers.enqueue(path);
}

void modalAnswerer::answerActiveModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    // A dialog that did not take its answer must not be answered forever.
    if (!modal || modal == lastAnswered)
        return;
    if (qobject_cast<QFileDialog *>(modal))
        answerFileDialog(modal);
    else if (qobject_cast<QMessageBox *>(modal))
        answerMessageBox(modal);
}

void modalAnswerer::answerFileDialog(QWidget *widget)
{
    auto *dialog = static_cast<QFileDialog *>(widget);
    lastAnswered = dialog;
    fileDialogTitles << dialog->windowTitle();
    fileDialogFilters << dialog->nameFilters().join(QLatin1Char(';'));
    fileDialogDirectories << dialog->directory();

    if (fileAnswers.isEmpty())
        ++unexpectedFileDialogs;
    const QString path = fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (path.isEmpty() || !nameEdit) {
        dialog->reject();
        return;
    }
    // Typed in like an operator would, so the dialog's own checks apply.
    nameEdit->setText(path);
    static_cast<QDialog *>(dialog)->accept();
    // A name the dialog refuses leaves it open; close it so the test goes on.
    if (dialog->isVisible())
        dialog->reject();
}

void modalAnswerer::answerMessageBox(QWidget *widget)
{
    auto *box = static_cast<QMessageBox *>(widget);
    lastAnswered = box;
    messageTexts << box->text();
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->accept();
}
