#include "fixtureSoftwareUpdaterForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSizePolicy>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// No stretch, and the widget keeps its own height-for-width answer.
void applySizePolicy(QWidget *widget, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical)
{
    QSizePolicy policy(horizontal, vertical);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(widget->sizePolicy().hasHeightForWidth());
    widget->setSizePolicy(policy);
}

// Pages and the borderless box fill their space edge to edge: spacing 0, no margins.
QVBoxLayout *tightVerticalLayout(QWidget *page, const char *name)
{
    auto *layout = new QVBoxLayout(page);
    layout->setSpacing(0);
    layout->setObjectName(QString::fromLatin1(name));
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

void fixtureSoftwareUpdaterForm::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QString::fromUtf8("fixtureSoftwareUpdater"));
    window->resize(706, 400);

    actionQuit = new QAction(window);
    actionQuit->setObjectName(QString::fromUtf8("actionQuit"));
    actionRefreshPortsList = new QAction(window);
    actionRefreshPortsList->setObjectName(QString::fromUtf8("actionRefreshPortsList"));

    centralwidget = new QWidget(window);
    centralwidget->setObjectName(QString::fromUtf8("centralwidget"));
    mainLayout = new QVBoxLayout(centralwidget);
    mainLayout->setObjectName(QString::fromUtf8("mainLayout"));

    // Logo row
    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QString::fromUtf8("horizontalLayout_2"));
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer);

    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));
    verticalSpacer = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_2->addItem(verticalSpacer);

    logoLabel = new QLabel(centralwidget);
    logoLabel->setObjectName(QString::fromUtf8("logoLabel"));
    applySizePolicy(logoLabel, QSizePolicy::Fixed, QSizePolicy::Fixed);
    logoLabel->setMaximumSize(QSize(520, 130));
    logoLabel->setPixmap(QPixmap(QString::fromUtf8(":/logo.png")));
    logoLabel->setScaledContents(true);
    verticalLayout_2->addWidget(logoLabel);

    verticalSpacer_2 = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_2->addItem(verticalSpacer_2);
    horizontalLayout_2->addLayout(verticalLayout_2);

    horizontalSpacer_2 = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer_2);
    mainLayout->addLayout(horizontalLayout_2);

    // Working row
    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QString::fromUtf8("horizontalLayout"));
    infoStackedWidget = new QStackedWidget(centralwidget);
    infoStackedWidget->setObjectName(QString::fromUtf8("infoStackedWidget"));
    applySizePolicy(infoStackedWidget, QSizePolicy::Preferred, QSizePolicy::Preferred);
    infoStackedWidget->setLayoutDirection(Qt::LeftToRight);

    selectFilePage = new QWidget();
    selectFilePage->setObjectName(QString::fromUtf8("selectFilePage"));
    verticalLayout_3 = tightVerticalLayout(selectFilePage, "verticalLayout_3");
    selectFileGroupBox = new QGroupBox(selectFilePage);
    selectFileGroupBox->setObjectName(QString::fromUtf8("selectFileGroupBox"));
    horizontalLayout_3 = new QHBoxLayout(selectFileGroupBox);
    horizontalLayout_3->setObjectName(QString::fromUtf8("horizontalLayout_3"));
    fileLabel = new QLabel(selectFileGroupBox);
    fileLabel->setObjectName(QString::fromUtf8("fileLabel"));
    applySizePolicy(fileLabel, QSizePolicy::Ignored, QSizePolicy::Preferred);
    fileLabel->setMinimumSize(QSize(0, 35));
    fileLabel->setMaximumSize(QSize(16777215, 35));
    QFont fileLabelFont;
    fileLabelFont.setPointSize(10);
    fileLabel->setFont(fileLabelFont);
    horizontalLayout_3->addWidget(fileLabel);
    selectFileButton = new QPushButton(selectFileGroupBox);
    selectFileButton->setObjectName(QString::fromUtf8("selectFileButton"));
    applySizePolicy(selectFileButton, QSizePolicy::Fixed, QSizePolicy::Fixed);
    selectFileButton->setMinimumSize(QSize(100, 35));
    horizontalLayout_3->addWidget(selectFileButton);
    horizontalLayout_3->setStretch(0, 1);
    verticalLayout_3->addWidget(selectFileGroupBox);
    infoStackedWidget->addWidget(selectFilePage);

    fixtureDisplayPage = new QWidget();
    fixtureDisplayPage->setObjectName(QString::fromUtf8("fixtureDisplayPage"));
    verticalLayout_7 = tightVerticalLayout(fixtureDisplayPage, "verticalLayout_7");
    fixtureDisplayGroupBox = new QGroupBox(fixtureDisplayPage);
    fixtureDisplayGroupBox->setObjectName(QString::fromUtf8("fixtureDisplayGroupBox"));
    horizontalLayout_4 = new QHBoxLayout(fixtureDisplayGroupBox);
    horizontalLayout_4->setObjectName(QString::fromUtf8("horizontalLayout_4"));
    groupBox = new QGroupBox(fixtureDisplayGroupBox);
    groupBox->setObjectName(QString::fromUtf8("groupBox"));
    groupBox->setStyleSheet(QString::fromUtf8("border:none"));
    verticalLayout_8 = tightVerticalLayout(groupBox, "verticalLayout_8");
    fixtureDisplayLabel = new QLabel(groupBox);
    fixtureDisplayLabel->setObjectName(QString::fromUtf8("fixtureDisplayLabel"));
    applySizePolicy(fixtureDisplayLabel, QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    fixtureDisplayLabel->setMinimumSize(QSize(200, 0));
    verticalLayout_8->addWidget(fixtureDisplayLabel);
    applicationDisplayLabel = new QLabel(groupBox);
    applicationDisplayLabel->setObjectName(QString::fromUtf8("applicationDisplayLabel"));
    applySizePolicy(applicationDisplayLabel, QSizePolicy::Preferred, QSizePolicy::Preferred);
    applicationDisplayLabel->setMinimumSize(QSize(200, 0));
    verticalLayout_8->addWidget(applicationDisplayLabel);
    horizontalLayout_4->addWidget(groupBox);
    selectFileButton_2 = new QPushButton(fixtureDisplayGroupBox);
    selectFileButton_2->setObjectName(QString::fromUtf8("selectFileButton_2"));
    selectFileButton_2->setMinimumSize(QSize(100, 35));
    horizontalLayout_4->addWidget(selectFileButton_2);
    verticalLayout_7->addWidget(fixtureDisplayGroupBox);
    infoStackedWidget->addWidget(fixtureDisplayPage);

    progressPage = new QWidget();
    progressPage->setObjectName(QString::fromUtf8("progressPage"));
    verticalLayout_4 = tightVerticalLayout(progressPage, "verticalLayout_4");
    progressGroupBox = new QGroupBox(progressPage);
    progressGroupBox->setObjectName(QString::fromUtf8("progressGroupBox"));
    verticalLayout_5 = new QVBoxLayout(progressGroupBox);
    verticalLayout_5->setObjectName(QString::fromUtf8("verticalLayout_5"));
    progressBar = new QProgressBar(progressGroupBox);
    progressBar->setObjectName(QString::fromUtf8("progressBar"));
    progressBar->setMinimumSize(QSize(0, 30));
    progressBar->setValue(0);
    verticalLayout_5->addWidget(progressBar);
    verticalLayout_4->addWidget(progressGroupBox);
    infoStackedWidget->addWidget(progressPage);
    horizontalLayout->addWidget(infoStackedWidget);

    updateStackedWidget = new QStackedWidget(centralwidget);
    updateStackedWidget->setObjectName(QString::fromUtf8("updateStackedWidget"));
    applySizePolicy(updateStackedWidget, QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateStackedWidget->setMinimumSize(QSize(120, 68));

    startSendingPage = new QWidget();
    startSendingPage->setObjectName(QString::fromUtf8("startSendingPage"));
    startSendingPage->setMinimumSize(QSize(120, 68));
    verticalLayout_6 = tightVerticalLayout(startSendingPage, "verticalLayout_6");
    startSendingGroupBox = new QGroupBox(startSendingPage);
    startSendingGroupBox->setObjectName(QString::fromUtf8("startSendingGroupBox"));
    verticalLayout = new QVBoxLayout(startSendingGroupBox);
    verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));
    updateButton = new QPushButton(startSendingGroupBox);
    updateButton->setObjectName(QString::fromUtf8("updateButton"));
    updateButton->setMinimumSize(QSize(100, 35));
    verticalLayout->addWidget(updateButton);
    verticalLayout_6->addWidget(startSendingGroupBox);
    updateStackedWidget->addWidget(startSendingPage);

    cancelSendingPage = new QWidget();
    cancelSendingPage->setObjectName(QString::fromUtf8("cancelSendingPage"));
    cancelSendingPage->setMinimumSize(QSize(120, 68));
    verticalLayout_10 = tightVerticalLayout(cancelSendingPage, "verticalLayout_10");
    cancelSendingGroupBox = new QGroupBox(cancelSendingPage);
    cancelSendingGroupBox->setObjectName(QString::fromUtf8("cancelSendingGroupBox"));
    cancelSendingGroupBox->setMinimumSize(QSize(0, 68));
    horizontalLayout_5 = new QHBoxLayout(cancelSendingGroupBox);
    horizontalLayout_5->setObjectName(QString::fromUtf8("horizontalLayout_5"));
    cancelButton = new QPushButton(cancelSendingGroupBox);
    cancelButton->setObjectName(QString::fromUtf8("cancelButton"));
    cancelButton->setMinimumSize(QSize(100, 35));
    horizontalLayout_5->addWidget(cancelButton);
    verticalLayout_10->addWidget(cancelSendingGroupBox);
    updateStackedWidget->addWidget(cancelSendingPage);

    finishedPage = new QWidget();
    finishedPage->setObjectName(QString::fromUtf8("finishedPage"));
    horizontalLayout_6 = new QHBoxLayout(finishedPage);
    horizontalLayout_6->setObjectName(QString::fromUtf8("horizontalLayout_6"));
    horizontalLayout_7 = new QHBoxLayout();
    horizontalLayout_7->setObjectName(QString::fromUtf8("horizontalLayout_7"));
    horizontalLayout_6->addLayout(horizontalLayout_7);
    cancelButton_2 = new QPushButton(finishedPage);
    cancelButton_2->setObjectName(QString::fromUtf8("cancelButton_2"));
    cancelButton_2->setMinimumSize(QSize(100, 35));
    horizontalLayout_6->addWidget(cancelButton_2);
    updateStackedWidget->addWidget(finishedPage);
    horizontalLayout->addWidget(updateStackedWidget);

    mainLayout->addLayout(horizontalLayout);
    mainLayout->setStretch(0, 1);
    window->setCentralWidget(centralwidget);

    menubar = new QMenuBar(window);
    menubar->setObjectName(QString::fromUtf8("menubar"));
    menubar->setGeometry(QRect(0, 0, 706, 21));
    menuApp = new QMenu(menubar);
    menuApp->setObjectName(QString::fromUtf8("menuApp"));
    menuPort = new QMenu(menubar);
    menuPort->setObjectName(QString::fromUtf8("menuPort"));
    window->setMenuBar(menubar);
    statusbar = new QStatusBar(window);
    statusbar->setObjectName(QString::fromUtf8("statusbar"));
    window->setStatusBar(statusbar);

    menubar->addAction(menuApp->menuAction());
    menubar->addAction(menuPort->menuAction());
    menuApp->addAction(actionQuit);
    menuPort->addSeparator();
    menuPort->addAction(actionRefreshPortsList);

    retranslateUi(window);

    infoStackedWidget->setCurrentIndex(0);
    updateStackedWidget->setCurrentIndex(0);

    QMetaObject::connectSlotsByName(window);
}

void fixtureSoftwareUpdaterForm::retranslateUi(QMainWindow *window)
{
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("fixtureSoftwareUpdater", text, nullptr);
    };
    window->setWindowTitle(tr("fixtureSoftwareUpdater"));
    actionQuit->setText(tr("&Quit"));
    actionRefreshPortsList->setText(tr("Refresh Interfaces List"));
    logoLabel->setText(QString());
    selectFileGroupBox->setTitle(tr("Select File"));
    fileLabel->setText(tr("No File Selected"));
    selectFileButton->setText(tr("Select File"));
    fixtureDisplayGroupBox->setTitle(tr("Update File Information"));
    groupBox->setTitle(QString());
    fixtureDisplayLabel->setText(tr("Vendor Fixture"));
    applicationDisplayLabel->setText(tr("Application v1.04"));
    selectFileButton_2->setText(tr("Select File"));
    progressGroupBox->setTitle(tr("Update Progress"));
    startSendingGroupBox->setTitle(tr("Update"));
    updateButton->setText(tr("Start"));
    cancelSendingGroupBox->setTitle(tr("Update"));
    cancelButton->setText(tr("Cancel"));
    cancelButton_2->setText(tr("Cancel"));
    menuApp->setTitle(tr("App"));
    menuPort->setTitle(tr("Interfaces"));
}
