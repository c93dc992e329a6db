#ifndef WINDOWRIG_H
#define WINDOWRIG_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>
#include <memory>

class fixtureSoftwareUpdater;
class modalAnswerer;

// The real main window on one port, its message boxes answered and recorded,
// driven the way a technician drives it.
class windowRig
{
public:
    explicit windowRig(const QString &portName);
    ~windowRig();

    // Chooses the file in the file dialog; false if the window refused it.
    bool chooseFile(const QString &path);
    bool clickStart();
    void clickCancel();
    // The button that reads "Finished!" or "Canceled!" once a run is over.
    void clickUpdateButton();

    QString buttonText() const;
    bool isSending() const;
    // Ended with "Finished!" or "Canceled!" and ready to be clicked.
    bool hasEndedAs(const QString &buttonText) const;
    // Back where an error leaves it: file page, Start enabled, progress 0, labels empty.
    bool isIdleAfterError() const;
    int progressValue() const;

    QStringList messages() const;
    fixtureSoftwareUpdater &window() { return *updater; }

private:
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
    QString path(const QString &name) const;
    QString directory() const { return files.path(); }

private:
    QTemporaryDir files;
};

// Four header lines, as the window expects them.
QByteArray standardHeader();

#endif // WINDOWRIG_H
