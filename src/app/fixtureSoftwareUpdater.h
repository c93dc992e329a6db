#ifndef FIXTURESOFTWAREUPDATER_H
#define FIXTURESOFTWAREUPDATER_H

#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QThread>

#include <memory>

#include "serialInterfaces.h"
#include "updateFileAnalysis.h"
#include "updateHistory.h"
#include "updateRun.h"

class QAction;
class QActionGroup;
class QLabel;
class fixtureSoftwareUpdaterForm;

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
    // It reports as the worker would, with texts the worker of this build may not have yet.
    friend class tst_window;

    // How a file came to be chosen: it decides what an unusable one leads to.
    enum class fileOrigin { dialog, startUp, commandLine, drop };
    enum class fileChoice { taken, refused, chooseAnother, failed };

    void selectUpdateFileFromWorkingDirectory();
    fileChoice chooseUpdateFile(const QString &path, fileOrigin origin);
    bool fileOpens(const QFileInfo &chosen);
    fileChoice fileAccepted(const updateFileAnalysis &analysis);
    QString lastFolder() const;
    void fitIntoScreen();

    void startWorker();
    bool updateRunning() const;
    void setInterfacesChangeable(bool changeable);
    void showUpdateEnded(const QString &buttonText);
    void showTimeLeft();
    void showUpdateNote(const QString &text);
    void tellUnfinishedUpdates();
    bool mayQuit();

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
    updateFileAnalysis runFile;
    QElapsedTimer runClock;
    QLabel *sleepLabel;
    QLabel *updateNoteLabel;
    bool quitting = false;
};

#endif // FIXTURESOFTWAREUPDATER_H
