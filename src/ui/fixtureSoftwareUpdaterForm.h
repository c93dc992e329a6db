#ifndef FIXTURESOFTWAREUPDATERFORM_H
#define FIXTURESOFTWAREUPDATERFORM_H

class QAction;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSpacerItem;
class QStackedWidget;
class QStatusBar;
class QVBoxLayout;
class QWidget;

// The widget tree of the main window. Passive: it builds and names the
// widgets; the window's slots give them behaviour.
class fixtureSoftwareUpdaterForm
{
public:
    QAction *actionQuit;
    QAction *actionRefreshPortsList;
    QWidget *centralwidget;
    QVBoxLayout *mainLayout;
    QHBoxLayout *horizontalLayout_2;
    QSpacerItem *horizontalSpacer;
    QVBoxLayout *verticalLayout_2;
    QSpacerItem *verticalSpacer;
    QLabel *logoLabel;
    QSpacerItem *verticalSpacer_2;
    QSpacerItem *horizontalSpacer_2;
    QHBoxLayout *horizontalLayout;
    QStackedWidget *infoStackedWidget;
    QWidget *selectFilePage;
    QVBoxLayout *verticalLayout_3;
    QGroupBox *selectFileGroupBox;
    QHBoxLayout *horizontalLayout_3;
    QLabel *fileLabel;
    QPushButton *selectFileButton;
    QWidget *fixtureDisplayPage;
    QVBoxLayout *verticalLayout_7;
    QGroupBox *fixtureDisplayGroupBox;
    QHBoxLayout *horizontalLayout_4;
    QGroupBox *groupBox;
    QVBoxLayout *verticalLayout_8;
    QLabel *fixtureDisplayLabel;
    QLabel *applicationDisplayLabel;
    QPushButton *selectFileButton_2;
    QWidget *progressPage;
    QVBoxLayout *verticalLayout_4;
    QGroupBox *progressGroupBox;
    QVBoxLayout *verticalLayout_5;
    QProgressBar *progressBar;
    QStackedWidget *updateStackedWidget;
    QWidget *startSendingPage;
    QVBoxLayout *verticalLayout_6;
    QGroupBox *startSendingGroupBox;
    QVBoxLayout *verticalLayout;
    QPushButton *updateButton;
    QWidget *cancelSendingPage;
    QVBoxLayout *verticalLayout_10;
    QGroupBox *cancelSendingGroupBox;
    QHBoxLayout *horizontalLayout_5;
    QPushButton *cancelButton;
    QWidget *finishedPage;
    QHBoxLayout *horizontalLayout_6;
    QHBoxLayout *horizontalLayout_7;
    QPushButton *cancelButton_2;
    QMenuBar *menubar;
    QMenu *menuApp;
    QMenu *menuPort;
    QStatusBar *statusbar;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};

#endif // FIXTURESOFTWAREUPDATERFORM_H
