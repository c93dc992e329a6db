#ifndef FIXTURESOFTWAREUPDATER_H
#define FIXTURESOFTWAREUPDATER_H

#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

#include "serialInterfaces.h"
#include "updateFileAnalysis.h"
#include "updateHistory.h"
#include "updateRun.h"

class QAction;
class QActionGroup;
class QLabel;
class QMessageBox;
class QTimer;
class elidingLabel;
class fixtureSoftwareUpdaterForm;
class updateFileReader;

// The updater's one window: interface choice, file choice, and the update run.
class fixtureSoftwareUpdater : public QMainWindow
{
    Q_OBJECT

public:
    explicit fixtureSoftwareUpdater(QWidget *parent = nullptr);
    // With a file named on the command line, taken over the working directory's as the dialog would take it.
    explicit fixtureSoftwareUpdater(const QString &commandLineFile, QWidget *parent = nullptr);
    ~fixtureSoftwareUpdater() override;

signals:
    void startSending();
    void cancelSending();

public slots:
    void on_actionQuit_triggered();
    void on_selectFileButton_clicked();
    void on_selectFileButton_2_clicked();
    void on_updateButton_clicked();
    void on_cancelButton_clicked();
    void on_actionRefreshPortsList_triggered();
    void serialPortSelected(QAction *action);
    void serialPortError(int error);
    void serialPortClosing();
    void updateFinished();
    void updateCanceled();
    void updateFileLength(int updateFileLength);
    void updateProgress(int progress);
    void recieveMessage(QString message);

    // SIGTERM, SIGHUP, a logout: nobody is there to answer, so a running update
    // stops after the frame in flight and the program ends.
    void stopUpdateAndQuit();
    void sleepNotInhibited(const QString &reason);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // What the window is doing. showState() alone enables Start, turns the pages of the two stacked widgets and
    // locks the Interfaces menu, from this and from what is chosen.
    enum class windowState { choosing, fileShown, readingFile, sending, finished, canceled, failed };
    // How a file came to be chosen: a name typed into the dialog may be missing without a word, and a file found
    // at start-up leaves the window on its path.
    enum class fileOrigin { dialog, startUp, commandLine, drop };
    enum class fileChoice { taken, refused, chooseAnother };

    void showState(windowState next);
    void showStateChange(bool wasReading);
    bool buttonJustChanged() const;
    void askToStop(const QString &question, const QString &stopText, const std::function<void()> &stop);
    void closeQuestion();
    bool checkInterface();
    bool interfaceListed() const;

    void askAtStartUp(const std::function<void()> &question);
    void askStartUpQuestions(int triesLeft);
    void selectUpdateFileFromWorkingDirectory();
    void chooseUpdateFile(const QString &path, fileOrigin origin, const QString &note = QString(),
                          const QString &shown = QString());
    void fileRead(const updateFileAnalysis &analysis);
    void takeFile(const updateFileAnalysis &analysis);
    bool fileOpens(const QFileInfo &chosen);
    fileChoice fileAccepted(const updateFileAnalysis &analysis);
    bool chosenFileChanged() const;
    bool takesDrops() const;
    QString lastFolder() const;
    void fitIntoScreen(QWidget *widget);

    void startWorker();
    bool updateRunning() const;
    void showUpdateEnded(windowState ended);
    void showTimeLeft();
    void showUpdateNote(const QString &text);
    void tellUnfinishedUpdates();

    void clearFileInformation();
    void resetUpdateState();
    void showErrorAndReset(const QString &message);
    void reportAndReset(const QString &message, int portError);
    void stopWorkerThread();

    fixtureSoftwareUpdaterForm *ui;
    QActionGroup *portActionGroup;
    QString version;
    QString productName;
    QString fileFilter;
    QString windowTitleText;
    QFileInfo updateFile;
    QThread workerThread;
    QList<serialPortDescription> serialPorts;
    QString selectedPortName;
    QLabel *interfaceLabel;

    // The run in progress, or the last one: what it was sent to, how far it got, how it ended.
    updateHistory history;
    std::unique_ptr<updateRun> run;
    QElapsedTimer runClock;
    elidingLabel *sleepLabel;
    QLabel *updateNoteLabel;
    bool quitting = false;

    windowState state = windowState::choosing;
    // Whether the choices made so far offer Start, as choosing an interface or a file and an error always have.
    bool startOffered = false;
    // The current interface is no longer listed: Start waits until it is, or another is chosen.
    bool interfaceGone = false;
    QTimer *interfaceWatch;
    // Since when Start, Cancel and the button's end texts mean what they show.
    QElapsedTimer meaningChanged;
    QPointer<QMessageBox> question;
    // What the window asks at start, in order, once it is on the screen.
    QList<std::function<void()>> startUpQuestions;

    // A file as it was chosen: its path as the window shows it, what to say of the choice, and the page it was
    // chosen from.
    struct fileCandidate
    {
        QFileInfo file;
        QString shown;
        fileOrigin origin;
        QString note;
        windowState before;
    };
    // The chosen file as it was read: what Start sends, what the run records and what the window names.
    updateFileAnalysis chosenFile;
    fileCandidate chosenFrom{QFileInfo(), QString(), fileOrigin::dialog, QString(), windowState::choosing};
    elidingLabel *chosenFileLabel;
    updateFileReader *reader;
    // The file being read, until it is taken or not.
    fileCandidate candidate = chosenFrom;
};

#endif // FIXTURESOFTWAREUPDATER_H
