#ifndef WINDOWRIG_H
#define WINDOWRIG_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>
#include <memory>

class QWidget;
class fixtureSoftwareUpdater;
class modalAnswerer;

// What a file dialog looked like when it opened.
struct fileDialogSeen {
    QString title;
    QString filter;
    QString directory;
};

// The real main window with one listed interface (none for an empty name),
// driven the way a technician drives it. Every modal it opens is answered
// from a timer: file dialogs with the queued paths, message boxes with OK,
// their texts recorded.
class windowRig
{
public:
    explicit windowRig(const QString &portName = QString());
    ~windowRig();

    // An empty path closes the dialog.
    void answerNextFileDialogWith(const QString &path);
    // Chooses the file in the file dialog; false if the window did not take it.
    bool chooseFile(const QString &path);
    // False, without a click, unless the button reads "Start" and is enabled.
    bool clickStart();
    void clickCancel();
    void clickUpdateButton();
    void click(const char *buttonName);

    QString buttonText() const;
    bool buttonEnabled() const;
    bool isSending() const;
    // Not sending, and the update button reads the text and can be clicked.
    bool hasEndedAs(const QString &buttonText) const;
    // Where an error leaves it: file page, Start enabled, progress 0, labels empty.
    bool isIdleAfterError() const;
    int progressValue() const;
    int progressMaximum() const;
    QString labelText(const char *name) const;
    QString currentPage(const char *stackName) const;

    QStringList messages() const;
    QVector<fileDialogSeen> fileDialogs() const;
    fixtureSoftwareUpdater &window() { return *updater; }

private:
    QWidget *find(const char *name) const;

    std::unique_ptr<fixtureSoftwareUpdater> updater;
    std::unique_ptr<modalAnswerer> answerer;
};

// Drops the worker's debug lines and the offscreen platform's complaints about
// message boxes, which would bury a test's own output.
void quietenExpectedOutput();

// CLOCK_MONOTONIC, the clock of the shim's event times.
qint64 monotonicNs();

// Delivers events until the condition holds; false if it did not by the deadline.
bool waitUntil(const std::function<bool()> &condition, qint64 deadlineNs);
bool waitFor(const std::function<bool()> &condition, int timeoutMs);

// The frames this process put on the wire since the last shim reset.
QVector<QByteArray> framesOnTheWire();
int breaksOnTheWire();

// The seed of a test's choices: REL_SEED from the environment, else the fixed one.
quint32 campaignSeed(quint32 fixedSeed);

// Update files in a directory of their own, removed with it.
class updateFiles
{
public:
    updateFiles();
    QString write(const QString &name, const QByteArray &contents);
    QString path(const QString &name) const { return files.filePath(name); }
    QString directory() const { return files.path(); }

private:
    QTemporaryDir files;
};

// Four header lines, as the window expects them.
QByteArray standardHeader();

#endif // WINDOWRIG_H
