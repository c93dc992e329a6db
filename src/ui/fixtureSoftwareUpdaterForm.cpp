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

template<typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// Pages and the borderless box fill their space edge to edge: spacing 0, no margins.
QVBoxLayout *tightVerticalLayout(QWidget *page, const char *name)
{
    auto *layout = named(new QVBoxLayout(page), name);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

void fixtureSoftwareUpdaterForm::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QString::fromUtf8("fixtureSoftwareUpdater"));
    window->resize(706, 400);

    actionQuit = named(new QAction(window), "actionQuit");
    actionRefreshPortsList = named(new QAction(window), "actionRefreshPortsList");

    centralwidget = named(new QWidget(window), "centralwidget");
    mainLayout = named(new QVBoxLayout(centralwidget), "mainLayout");

    // Logo row
    horizontalLayout_2 = named(new QHBoxLayout(), "horizontalLayout_2");
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer);

    verticalLayout_2 = named(new QVBoxLayout(), "verticalLayout_2");
    verticalSpacer = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_2->addItem(verticalSpacer);

    logoLabel = named(new QLabel(centralwidget), "logoLabel");
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
    horizontalLayout = named(new QHBoxLayout(), "horizontalLayout");
    infoStackedWidget = named(new QStackedWidget(centralwidget), "infoStackedWidget");
    applySizePolicy(infoStackedWidget, QSizePolicy::Preferred, QSizePolicy::Preferred);
    infoStackedWidget->setLayoutDirection(Qt::LeftToRight);

    selectFilePage = named(new QWidget(), "selectFilePage");
    verticalLayout_3 = tightVerticalLayout(selectFilePage, "verticalLayout_3");
    selectFileGroupBox = named(new QGroupBox(selectFilePage), "selectFileGroupBox");
    horizontalLayout_3 = named(new QHBoxLayout(selectFileGroupBox), "horizontalLayout_3");
    fileLabel = named(new QLabel(selectFileGroupBox), "fileLabel");
    applySizePolicy(fileLabel, QSizePolicy::Ignored, QSizePolicy::Preferred);
    fileLabel->setMinimumSize(QSize(0, 35));
    fileLabel->setMaximumSize(QSize(16777215, 35));
    QFont fileLabelFont;
    fileLabelFont.setPointSize(10);
    fileLabel->setFont(fileLabelFont);
    horizontalLayout_3->addWidget(fileLabel);
    selectFileButton = named(new QPushButton(selectFileGroupBox), "selectFileButton");
    applySizePolicy(selectFileButton, QSizePolicy::Fixed, QSizePolicy::Fixed);
    selectFileButton->setMinimumSize(QSize(100, 35));
    horizontalLayout_3->addWidget(selectFileButton);
    horizontalLayout_3->setStretch(0, 1);
    verticalLayout_3->addWidget(selectFileGroupBox);
    infoStackedWidget->addWidget(selectFilePage);

    fixtureDisplayPage = named(new QWidget(), "fixtureDisplayPage");
    verticalLayout_7 = tightVerticalLayout(fixtureDisplayPage, "verticalLayout_7");
    fixtureDisplayGroupBox = named(new QGroupBox(fixtureDisplayPage), "fixtureDisplayGroupBox");
    horizontalLayout_4 = named(new QHBoxLayout(fixtureDisplayGroupBox), "horizontalLayout_4");
    groupBox = named(new QGroupBox(fixtureDisplayGroupBox), "groupBox");
    groupBox->setStyleSheet(QString::fromUtf8("border:none"));
    verticalLayout_8 = tightVerticalLayout(groupBox, "verticalLayout_8");
    fixtureDisplayLabel = named(new QLabel(groupBox), "fixtureDisplayLabel");
    applySizePolicy(fixtureDisplayLabel, QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    fixtureDisplayLabel->setMinimumSize(QSize(200, 0));
    verticalLayout_8->addWidget(fixtureDisplayLabel);
    applicationDisplayLabel = named(new QLabel(groupBox), "applicationDisplayLabel");
    applySizePolicy(applicationDisplayLabel, QSizePolicy::Preferred, QSizePolicy::Preferred);
    applicationDisplayLabel->setMinimumSize(QSize(200, 0));
    verticalLayout_8->addWidget(applicationDisplayLabel);
    horizontalLayout_4->addWidget(groupBox);
    selectFileButton_2 = named(new QPushButton(fixtureDisplayGroupBox), "selectFileButton_2");
    selectFileButton_2->setMinimumSize(QSize(100, 35));
    horizontalLayout_4->addWidget(selectFileButton_2);
    verticalLayout_7->addWidget(fixtureDisplayGroupBox);
    infoStackedWidget->addWidget(fixtureDisplayPage);

    progressPage = named(new QWidget(), "progressPage");
    verticalLayout_4 = tightVerticalLayout(progressPage, "verticalLayout_4");
    progressGroupBox = named(new QGroupBox(progressPage), "progressGroupBox");
    verticalLayout_5 = named(new QVBoxLayout(progressGroupBox), "verticalLayout_5");
    progressBar = named(new QProgressBar(progressGroupBox), "progressBar");
    progressBar->setMinimumSize(QSize(0, 30));
    progressBar->setValue(0);
    verticalLayout_5->addWidget(progressBar);
    verticalLayout_4->addWidget(progressGroupBox);
    infoStackedWidget->addWidget(progressPage);
    horizontalLayout->addWidget(infoStackedWidget);

    updateStackedWidget = named(new QStackedWidget(centralwidget), "updateStackedWidget");
    applySizePolicy(updateStackedWidget, QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateStackedWidget->setMinimumSize(QSize(120, 68));

    startSendingPage = named(new QWidget(), "startSendingPage");
    startSendingPage->setMinimumSize(QSize(120, 68));
    verticalLayout_6 = tightVerticalLayout(startSendingPage, "verticalLayout_6");
    startSendingGroupBox = named(new QGroupBox(startSendingPage), "startSendingGroupBox");
    verticalLayout = named(new QVBoxLayout(startSendingGroupBox), "verticalLayout");
    updateButton = named(new QPushButton(startSendingGroupBox), "updateButton");
    updateButton->setMinimumSize(QSize(100, 35));
    verticalLayout->addWidget(updateButton);
    verticalLayout_6->addWidget(startSendingGroupBox);
    updateStackedWidget->addWidget(startSendingPage);

    cancelSendingPage = named(new QWidget(), "cancelSendingPage");
    cancelSendingPage->setMinimumSize(QSize(120, 68));
    verticalLayout_10 = tightVerticalLayout(cancelSendingPage, "verticalLayout_10");
    cancelSendingGroupBox = named(new QGroupBox(cancelSendingPage), "cancelSendingGroupBox");
    cancelSendingGroupBox->setMinimumSize(QSize(0, 68));
    horizontalLayout_5 = named(new QHBoxLayout(cancelSendingGroupBox), "horizontalLayout_5");
    cancelButton = named(new QPushButton(cancelSendingGroupBox), "cancelButton");
    cancelButton->setMinimumSize(QSize(100, 35));
    horizontalLayout_5->addWidget(cancelButton);
    verticalLayout_10->addWidget(cancelSendingGroupBox);
    updateStackedWidget->addWidget(cancelSendingPage);

    finishedPage = named(new QWidget(), "finishedPage");
    horizontalLayout_6 = named(new QHBoxLayout(finishedPage), "horizontalLayout_6");
    horizontalLayout_7 = named(new QHBoxLayout(), "horizontalLayout_7");
    horizontalLayout_6->addLayout(horizontalLayout_7);
    cancelButton_2 = named(new QPushButton(finishedPage), "cancelButton_2");
    cancelButton_2->setMinimumSize(QSize(100, 35));
    horizontalLayout_6->addWidget(cancelButton_2);
    updateStackedWidget->addWidget(finishedPage);
    horizontalLayout->addWidget(updateStackedWidget);

    mainLayout->addLayout(horizontalLayout);
    mainLayout->setStretch(0, 1);
    window->setCentralWidget(centralwidget);

    menubar = named(new QMenuBar(window), "menubar");
    menubar->setGeometry(QRect(0, 0, 706, 21));
    menuApp = named(new QMenu(menubar), "menuApp");
    menuPort = named(new QMenu(menubar), "menuPort");
    window->setMenuBar(menubar);
    statusbar = named(new QStatusBar(window), "statusbar");
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
    menuApp->setTitle(tr("&App"));
    menuPort->setTitle(tr("&Interfaces"));
}
