#ifndef FIXTURESOFTWAREUPDATER_H
#define FIXTURESOFTWAREUPDATER_H

#include <QFileInfo>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QThread>

#include "serialInterfaces.h"

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

private:
    void selectUpdateFileFromWorkingDirectory();
    void startWorker();
    void clearFileInformation();
    void resetUpdateState();
    void showErrorAndReset(const QString &message);
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
};

#endif // FIXTURESOFTWAREUPDATER_H
