#include "fixtureSoftwareUpdater.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"

fixtureSoftwareUpdater::fixtureSoftwareUpdater(QWidget *parent) : fixtureSoftwareUpdater(QString(), parent)
{
}

fixtureSoftwareUpdater::fixtureSoftwareUpdater(const QString &commandLineFile, QWidget *parent)
    : QMainWindow(parent),
      ui(new fixtureSoftwareUpdaterForm),
      portActionGroup(nullptr),
      version(QStringLiteral(UPDATER_VERSION)),
      productName(QStringLiteral("Orvana Firmware Updater")),
      fileFilter(QStringLiteral("(*.fwb)")),
      windowTitleText(productName + QLatin1Char(' ') + version),
      selectedPortName(QLatin1String("")),
      interfaceLabel(new QLabel(this)),
      sleepLabel(new QLabel(this)),
      updateNoteLabel(new QLabel(this))
{
    ui->setupUi(this);
    ui->logoLabel->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    setWindowTitle(windowTitleText);
    ui->updateButton->setEnabled(false);
    ui->updateButton->setToolTip(QStringLiteral("Select port and update file to start!"));
    // Only visible, and so only active, while an update runs.
    ui->cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    // They show a file's own words, which may look like markup.
    for (QLabel *label : {ui->fileLabel, ui->fixtureDisplayLabel, ui->applicationDisplayLabel, interfaceLabel})
        label->setTextFormat(Qt::PlainText);
    // The form's sample texts are no file's header.
    clearFileInformation();
    setAcceptDrops(true);

    portActionGroup = new QActionGroup(this);
    portActionGroup->setExclusive(true);
    connect(portActionGroup, &QActionGroup::triggered, this, &fixtureSoftwareUpdater::serialPortSelected);

    statusBar()->addWidget(interfaceLabel, 0);
    interfaceLabel->setText(QStringLiteral("Currently no interface selected!"));
    sleepLabel->setObjectName(QStringLiteral("sleepLabel"));
    updateNoteLabel->setObjectName(QStringLiteral("updateNoteLabel"));
    statusBar()->addPermanentWidget(sleepLabel);
    sleepLabel->hide();
    updateNoteLabel->setWordWrap(true);
    updateNoteLabel->setTextFormat(Qt::PlainText);
    ui->mainLayout->addWidget(updateNoteLabel);
    updateNoteLabel->hide();
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { stopUpdateAndQuit(); });
#endif

    // Before anything else the window asks, once it is on the screen.
    QTimer::singleShot(0, this, &fixtureSoftwareUpdater::tellUnfinishedUpdates);
    if (commandLineFile.isEmpty())
        selectUpdateFileFromWorkingDirectory();
    else // Taken once the window is on the screen, where its questions belong.
        QTimer::singleShot(0, this, [this, commandLineFile] { chooseUpdateFile(commandLineFile, fileOrigin::commandLine); });
    on_actionRefreshPortsList_triggered();
    fitIntoScreen();
}

fixtureSoftwareUpdater::~fixtureSoftwareUpdater()
{
    stopWorkerThread();
    delete ui;
}

// 706 x 400 at 200 % is more than a 1280 x 800 laptop offers, and Start would be off the screen.
void fixtureSoftwareUpdater::fitIntoScreen()
{
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    resize(size().boundedTo(shownOn->availableGeometry().size() - QSize(0, titleBar)));
}

void fixtureSoftwareUpdater::on_actionQuit_triggered()
{
    if (!mayQuit())
        return;
    quitting = true;
    QCoreApplication::quit();
}

void fixtureSoftwareUpdater::closeEvent(QCloseEvent *event)
{
    if (!mayQuit()) {
        event->ignore();
        return;
    }
    quitting = true;
    event->accept();
}

// Leaving during an update leaves the fixture with part of it: only on the operator's word.
bool fixtureSoftwareUpdater::mayQuit()
{
    // An error box shows over a run that has stopped already.
    if (quitting || !updateRunning() || !workerThread.isRunning())
        return true;
    QMessageBox box(this);
    box.setWindowTitle(windowTitleText);
    box.setIcon(QMessageBox::Question);
    setPlainTexts(box, QStringLiteral("An update is running."),
                  QStringLiteral("Stopped now, the fixture keeps part of the update, and the whole file must be sent again."));
    QPushButton *keep = box.addButton(QStringLiteral("Keep Updating"), QMessageBox::RejectRole);
    QPushButton *stop = box.addButton(QStringLiteral("Stop and Quit"), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == stop;
}

void fixtureSoftwareUpdater::stopUpdateAndQuit()
{
    quitting = true;
    stopWorkerThread();
    QCoreApplication::quit();
}

// Connected to the worker's sendMessage, which nothing emits; kept so the
// window's slots stay as other tools of ours expect them.
void fixtureSoftwareUpdater::recieveMessage(QString message)
{
    Q_UNUSED(message)
}
