#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QDir>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

class QWidget;

// Answers every modal dialog the window opens, from a timer of its own (a
// zero-delay call on the window would be a queued call to it, and the window
// drops those when it stops a worker). File dialogs get the queued answers in
// order, message boxes are closed with OK and their texts kept.
class modalAnswerer : public QObject
{
    Q_OBJECT

public:
    modalAnswerer();

    // A path to type into the next file dialog; an empty one closes it.
    void answerNextFileDialogWith(const QString &path);

    QStringList messageTexts;
    // What the file dialogs looked like when they opened.
    QStringList fileDialogTitles;
    QStringList fileDialogFilters;
    QList<QDir> fileDialogDirectories;
    int unexpectedFileDialogs = 0;

private:
    void answerActiveModal();
    void answerFileDialog(QWidget *dialog);
    void answerMessageBox(QWidget *box);

    QTimer poll;
    QQueue<QString> fileAnswers;
    QPointer<QWidget> lastAnswered;
};

#endif // MODALANSWERER_H
