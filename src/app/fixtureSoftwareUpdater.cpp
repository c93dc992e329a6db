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
#include <QWindow>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <utility>

#include "elidingLabel.h"
#include "fixtureSoftwareUpdaterForm.h"
#include "plainMessageBox.h"
#include "updateFileReader.h"

namespace {

// Often enough that a replugged adapter is back before the technician looks again; listing the ports takes a
// few milliseconds of the window's thread.
constexpr int interfaceWatchMs = 2000;

} // namespace

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
      interfaceLabel(new elidingLabel(this)),
      sleepLabel(new elidingLabel(this)),
      updateNoteLabel(new QLabel(this)),
      interfaceWatch(new QTimer(this)),
      chosenFileLabel(new elidingLabel(this)),
      reader(new updateFileReader(this))
{
    ui->setupUi(this);
    ui->logoLabel->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    setWindowTitle(windowTitleText);
    ui->updateButton->setEnabled(false);
    ui->updateButton->setToolTip(QStringLiteral("Select port and update file to start!"));
    // Only visible, and so only active, while an update runs or a file is read.
    ui->cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    // They show a file's own words, which may look like markup.
    for (QLabel *label : {ui->fileLabel, ui->fixtureDisplayLabel, ui->applicationDisplayLabel})
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
    chosenFileLabel->setObjectName(QStringLiteral("chosenFileLabel"));
    statusBar()->addPermanentWidget(sleepLabel);
    sleepLabel->hide();
    updateNoteLabel->setWordWrap(true);
    updateNoteLabel->setTextFormat(Qt::PlainText);
    // Under the working row, on every page: what a Start would send, or is sending. Its line is kept while no file
    // is chosen, so the row does not move when one is.
    chosenFileLabel->setMinimumHeight(chosenFileLabel->fontMetrics().height());
    ui->mainLayout->addWidget(chosenFileLabel);
    // Below it, what the fixture may hold after an update that did not finish, until the next Start.
    ui->mainLayout->addWidget(updateNoteLabel);
    updateNoteLabel->hide();
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { stopUpdateAndQuit(); });
#endif
    connect(reader, &updateFileReader::finished, this, &fixtureSoftwareUpdater::fileRead);
    connect(reader, &updateFileReader::progressed, ui->progressBar, &QProgressBar::setValue);
    connect(interfaceWatch, &QTimer::timeout, this, [this] {
        if (!updateRunning() && checkInterface())
            showState(state);
    });
    interfaceWatch->start(interfaceWatchMs);

    // Before anything else the window asks.
    askAtStartUp([this] { tellUnfinishedUpdates(); });
    if (commandLineFile.isEmpty())
        selectUpdateFileFromWorkingDirectory();
    else
        askAtStartUp([this, commandLineFile] { chooseUpdateFile(commandLineFile, fileOrigin::commandLine); });
    on_actionRefreshPortsList_triggered();
    fitIntoScreen(this);
}

fixtureSoftwareUpdater::~fixtureSoftwareUpdater()
{
    stopWorkerThread();
    delete ui;
}

// 706 x 400 at 200 % is more than a 1280 x 800 laptop offers, and Start would be off the screen; Qt's own file
// dialog is larger still.
void fixtureSoftwareUpdater::fitIntoScreen(QWidget *widget)
{
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, widget);
    const QSize room = shownOn->availableGeometry().size() - QSize(0, titleBar);
    widget->resize(widget->size().boundedTo(room));
}

// Asked once the window is on the screen, one after the other: a box opened before the window manager has placed
// the window opens beside it, not over it.
void fixtureSoftwareUpdater::askAtStartUp(const std::function<void()> &question)
{
    if (startUpQuestions.isEmpty())
        QTimer::singleShot(0, this, [this] { askStartUpQuestions(100); });
    startUpQuestions.append(question);
}

void fixtureSoftwareUpdater::askStartUpQuestions(int triesLeft)
{
    // A window never shown (or shown minimized) is asked at once, and waited for two seconds at the most.
    const bool placing = isVisible() && !(windowHandle() && windowHandle()->isExposed());
    if (placing && triesLeft > 0) {
        QTimer::singleShot(20, this, [this, triesLeft] { askStartUpQuestions(triesLeft - 1); });
        return;
    }
    for (const std::function<void()> &question : std::exchange(startUpQuestions, {}))
        question();
}

void fixtureSoftwareUpdater::on_actionQuit_triggered()
{
    if (!updateRunning()) {
        quitting = true;
        QCoreApplication::quit();
        return;
    }
    askToStop(QStringLiteral("An update is running."), QStringLiteral("Stop and Quit"), [this] { stopUpdateAndQuit(); });
}

void fixtureSoftwareUpdater::closeEvent(QCloseEvent *event)
{
    // An error box shows over a run that has stopped already.
    if (quitting || !updateRunning() || !workerThread.isRunning()) {
        quitting = true;
        event->accept();
        return;
    }
    event->ignore();
    on_actionQuit_triggered();
}

// Stopping during an update leaves the fixture with part of it: only on the operator's word. Asked without
// holding the update up, and withdrawn once the update has ended, when the words would no longer be true.
void fixtureSoftwareUpdater::askToStop(const QString &text, const QString &stopText, const std::function<void()> &stop)
{
    if (question)
        return;
    question = new QMessageBox(QMessageBox::Question, windowTitleText, QString(), QMessageBox::NoButton, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    setPlainTexts(*question, text, QStringLiteral("Stopped now, the fixture keeps part of the update, and the whole "
                                                  "file must be sent again."));
    QPushButton *keep = question->addButton(QStringLiteral("Keep Updating"), QMessageBox::RejectRole);
    QPushButton *stopButton = question->addButton(stopText, QMessageBox::DestructiveRole);
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    connect(question, &QMessageBox::buttonClicked, this, [this, stopButton, stop](QAbstractButton *clicked) {
        if (clicked == stopButton && updateRunning())
            stop();
    });
    question->open();
}

void fixtureSoftwareUpdater::closeQuestion()
{
    if (question)
        question->done(QDialog::Rejected);
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
