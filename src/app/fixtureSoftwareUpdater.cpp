#include "fixtureSoftwareUpdater.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>

#include "fixtureSoftwareUpdaterForm.h"

fixtureSoftwareUpdater::fixtureSoftwareUpdater(QWidget *parent)
    : QMainWindow(parent),
      ui(new fixtureSoftwareUpdaterForm),
      portActionGroup(nullptr),
      version(QStringLiteral(UPDATER_VERSION)),
      productName(QStringLiteral("Orvana Firmware Updater")),
      fileFilter(QStringLiteral("(*.fwb)")),
      windowTitleText(productName + QLatin1Char(' ') + version),
      selectedPortName(QLatin1String("")),
      interfaceLabel(new QLabel(this))
{
    ui->setupUi(this);
    ui->logoLabel->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    setWindowTitle(windowTitleText);
    ui->updateButton->setEnabled(false);
    ui->updateButton->setToolTip(QStringLiteral("Select port and update file to start!"));

    portActionGroup = new QActionGroup(this);
    portActionGroup->setExclusive(true);
    connect(portActionGroup, &QActionGroup::triggered, this, &fixtureSoftwareUpdater::serialPortSelected);

    statusBar()->addWidget(interfaceLabel, 0);
    interfaceLabel->setText(QStringLiteral("Currently no interface selected!"));

    selectUpdateFileFromWorkingDirectory();
    on_actionRefreshPortsList_triggered();
}

fixtureSoftwareUpdater::~fixtureSoftwareUpdater()
{
    stopWorkerThread();
    delete ui;
}

// The oldest update file in the working directory is taken as the one to send.
void fixtureSoftwareUpdater::selectUpdateFileFromWorkingDirectory()
{
    const QFileInfoList entries = QDir().entryInfoList({QStringLiteral("*.dmx"), QStringLiteral("*.fwb")},
                                                       QDir::Files | QDir::NoSymLinks | QDir::CaseSensitive,
                                                       QDir::Time | QDir::Reversed);
    if (entries.isEmpty())
        return;
    updateFile = entries.first();
    ui->fileLabel->setText(updateFile.filePath());
}

void fixtureSoftwareUpdater::on_actionQuit_triggered()
{
    QCoreApplication::quit();
}

// Connected to the worker's sendMessage, which nothing emits; kept so the
// window's slots stay as other tools of ours expect them.
void fixtureSoftwareUpdater::recieveMessage(QString message)
{
    Q_UNUSED(message)
}
