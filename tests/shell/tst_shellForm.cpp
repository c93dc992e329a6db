// The form on a bare QMainWindow: tree, layout, initial state and texts.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTranslator>
#include <QtTest>

#include <cstddef>
#include <memory>

#include "fixtureSoftwareUpdaterForm.h"

namespace {

// Marks every text looked up in the window's context, so a text that
// bypasses the translation or uses another context shows up unmarked.
class markingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        if (qstrcmp(context, "fixtureSoftwareUpdater") != 0 || disambiguation || n != -1)
            return QString();
        return QLatin1Char('<') + QString::fromUtf8(sourceText) + QLatin1Char('>');
    }

    bool isEmpty() const override { return false; }
};

struct formOnWindow
{
    QMainWindow window;
    fixtureSoftwareUpdaterForm form;

    formOnWindow() { form.setupUi(&window); }

    template<typename T = QObject>
    T *child(const char *name) const
    {
        auto *object = window.findChild<T *>(QString::fromLatin1(name));
        if (!object)
            qWarning("no %s named %s", T::staticMetaObject.className(), name);
        return object;
    }
};

QString describe(QLayoutItem *item)
{
    if (QWidget *widget = item->widget())
        return widget->objectName();
    if (QLayout *layout = item->layout())
        return layout->objectName();
    if (QSpacerItem *spacer = item->spacerItem()) {
        const QSizePolicy policy = spacer->sizePolicy();
        return QStringLiteral("spacer %1x%2 %3/%4")
            .arg(spacer->sizeHint().width())
            .arg(spacer->sizeHint().height())
            .arg(policy.horizontalPolicy())
            .arg(policy.verticalPolicy());
    }
    return QStringLiteral("?");
}

QStringList itemsOf(const QLayout *layout)
{
    QStringList items;
    for (int i = 0; i < layout->count(); ++i)
        items << describe(layout->itemAt(i));
    return items;
}

QStringList childNames(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children())
        // Qt names some helpers of its own, such as the menu bar's extension button.
        if (!child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1String("qt_")))
            names << child->objectName();
    return names;
}

} // namespace

class tst_shellForm : public QObject
{
    Q_OBJECT

private slots:
    void membersAreDeclaredInCreationOrder();
    void everyObjectHasItsClassAndParent_data();
    void everyObjectHasItsClassAndParent();
    void layoutsHoldTheirItemsInOrder_data();
    void layoutsHoldTheirItemsInOrder();
    void pagesAndMarginsOfTheStackedWidgets();
    void sizesAndPolicies_data();
    void sizesAndPolicies();
    void firstPagesShowAfterSetup();
    void menusHoldTheirActionsInOrder();
    void objectNameOfTheWindowIsKeptIfSet();
    void textsGoThroughTranslationInTheWindowContext();
    void longFileNameNeitherGrowsTheLabelNorWidensTheWindow();
};

void tst_shellForm::membersAreDeclaredInCreationOrder()
{
    // The form is a plain struct of pointers, so offsetof shows the declaration order.
    using F = fixtureSoftwareUpdaterForm;
    const size_t offsets[] = {
        offsetof(F, actionQuit), offsetof(F, actionRefreshPortsList), offsetof(F, centralwidget),
        offsetof(F, mainLayout), offsetof(F, horizontalLayout_2), offsetof(F, horizontalSpacer),
        offsetof(F, verticalLayout_2), offsetof(F, verticalSpacer), offsetof(F, logoLabel),
        offsetof(F, verticalSpacer_2), offsetof(F, horizontalSpacer_2), offsetof(F, horizontalLayout),
        offsetof(F, infoStackedWidget), offsetof(F, selectFilePage), offsetof(F, verticalLayout_3),
        offsetof(F, selectFileGroupBox), offsetof(F, horizontalLayout_3), offsetof(F, fileLabel),
        offsetof(F, selectFileButton), offsetof(F, fixtureDisplayPage), offsetof(F, verticalLayout_7),
        offsetof(F, fixtureDisplayGroupBox), offsetof(F, horizontalLayout_4), offsetof(F, groupBox),
        offsetof(F, verticalLayout_8), offsetof(F, fixtureDisplayLabel), offsetof(F, applicationDisplayLabel),
        offsetof(F, selectFileButton_2), offsetof(F, progressPage), offsetof(F, verticalLayout_4),
        offsetof(F, progressGroupBox), offsetof(F, verticalLayout_5), offsetof(F, progressBar),
        offsetof(F, updateStackedWidget), offsetof(F, startSendingPage), offsetof(F, verticalLayout_6),
        offsetof(F, startSendingGroupBox), offsetof(F, verticalLayout), offsetof(F, updateButton),
        offsetof(F, cancelSendingPage), offsetof(F, verticalLayout_10), offsetof(F, cancelSendingGroupBox),
        offsetof(F, horizontalLayout_5), offsetof(F, cancelButton), offsetof(F, finishedPage),
        offsetof(F, horizontalLayout_6), offsetof(F, horizontalLayout_7), offsetof(F, cancelButton_2),
        offsetof(F, menubar), offsetof(F, menuApp), offsetof(F, menuPort), offsetof(F, statusbar),
    };
    for (size_t i = 1; i < sizeof offsets / sizeof offsets[0]; ++i)
        QVERIFY2(offsets[i] == offsets[i - 1] + sizeof(void *), qPrintable(QString::number(i)));
    QCOMPARE(sizeof(F), sizeof offsets);

    // Siblings are QObject children in creation order.
    formOnWindow f;
    QCOMPARE(childNames(&f.window).filter(QRegularExpression(QStringLiteral("^(action|central|menubar|statusbar)"))),
             QStringList({"actionQuit", "actionRefreshPortsList", "centralwidget", "menubar", "statusbar"}));
    QCOMPARE(childNames(f.form.centralwidget),
             QStringList({"mainLayout", "logoLabel", "infoStackedWidget", "updateStackedWidget"}));
    QCOMPARE(childNames(f.form.menubar), QStringList({"menuApp", "menuPort"}));
}

void tst_shellForm::everyObjectHasItsClassAndParent_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const struct { const char *name, *className, *parent; } tree[] = {
        {"actionQuit", "QAction", "fixtureSoftwareUpdater"},
        {"actionRefreshPortsList", "QAction", "fixtureSoftwareUpdater"},
        {"centralwidget", "QWidget", "fixtureSoftwareUpdater"},
        {"menubar", "QMenuBar", "fixtureSoftwareUpdater"},
        {"statusbar", "QStatusBar", "fixtureSoftwareUpdater"},
        {"menuApp", "QMenu", "menubar"},
        {"menuPort", "QMenu", "menubar"},
        {"mainLayout", "QVBoxLayout", "centralwidget"},
        {"horizontalLayout_2", "QHBoxLayout", "mainLayout"},
        {"verticalLayout_2", "QVBoxLayout", "horizontalLayout_2"},
        {"logoLabel", "QLabel", "centralwidget"},
        {"horizontalLayout", "QHBoxLayout", "mainLayout"},
        {"infoStackedWidget", "QStackedWidget", "centralwidget"},
        {"selectFilePage", "QWidget", "infoStackedWidget"},
        {"verticalLayout_3", "QVBoxLayout", "selectFilePage"},
        {"selectFileGroupBox", "QGroupBox", "selectFilePage"},
        {"horizontalLayout_3", "QHBoxLayout", "selectFileGroupBox"},
        {"fileLabel", "QLabel", "selectFileGroupBox"},
        {"selectFileButton", "QPushButton", "selectFileGroupBox"},
        {"fixtureDisplayPage", "QWidget", "infoStackedWidget"},
        {"verticalLayout_7", "QVBoxLayout", "fixtureDisplayPage"},
        {"fixtureDisplayGroupBox", "QGroupBox", "fixtureDisplayPage"},
        {"horizontalLayout_4", "QHBoxLayout", "fixtureDisplayGroupBox"},
        {"groupBox", "QGroupBox", "fixtureDisplayGroupBox"},
        {"verticalLayout_8", "QVBoxLayout", "groupBox"},
        {"fixtureDisplayLabel", "QLabel", "groupBox"},
        {"applicationDisplayLabel", "QLabel", "groupBox"},
        {"selectFileButton_2", "QPushButton", "fixtureDisplayGroupBox"},
        {"progressPage", "QWidget", "infoStackedWidget"},
        {"verticalLayout_4", "QVBoxLayout", "progressPage"},
        {"progressGroupBox", "QGroupBox", "progressPage"},
        {"verticalLayout_5", "QVBoxLayout", "progressGroupBox"},
        {"progressBar", "QProgressBar", "progressGroupBox"},
        {"updateStackedWidget", "QStackedWidget", "centralwidget"},
        {"startSendingPage", "QWidget", "updateStackedWidget"},
        {"verticalLayout_6", "QVBoxLayout", "startSendingPage"},
        {"startSendingGroupBox", "QGroupBox", "startSendingPage"},
        {"verticalLayout", "QVBoxLayout", "startSendingGroupBox"},
        {"updateButton", "QPushButton", "startSendingGroupBox"},
        {"cancelSendingPage", "QWidget", "updateStackedWidget"},
        {"verticalLayout_10", "QVBoxLayout", "cancelSendingPage"},
        {"cancelSendingGroupBox", "QGroupBox", "cancelSendingPage"},
        {"horizontalLayout_5", "QHBoxLayout", "cancelSendingGroupBox"},
        {"cancelButton", "QPushButton", "cancelSendingGroupBox"},
        {"finishedPage", "QWidget", "updateStackedWidget"},
        {"horizontalLayout_6", "QHBoxLayout", "finishedPage"},
        {"horizontalLayout_7", "QHBoxLayout", "horizontalLayout_6"},
        {"cancelButton_2", "QPushButton", "finishedPage"},
    };
    for (const auto &entry : tree)
        QTest::newRow(entry.name) << QString::fromLatin1(entry.className) << QString::fromLatin1(entry.parent);
}

void tst_shellForm::everyObjectHasItsClassAndParent()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    formOnWindow f;
    const QList<QObject *> matches = f.window.findChildren<QObject *>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(matches.size(), 1);
    QCOMPARE(QString::fromLatin1(matches.first()->metaObject()->className()), className);
    QVERIFY(matches.first()->parent());
    QCOMPARE(matches.first()->parent()->objectName(), parentName);
}

void tst_shellForm::layoutsHoldTheirItemsInOrder_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<int>>("stretch");

    const QString sideways = QStringLiteral("spacer 40x20 %1/%2").arg(QSizePolicy::Expanding).arg(QSizePolicy::Minimum);
    const QString upright = QStringLiteral("spacer 20x40 %1/%2").arg(QSizePolicy::Minimum).arg(QSizePolicy::Expanding);

    QTest::newRow("mainLayout") << QStringList({"horizontalLayout_2", "horizontalLayout"}) << QList<int>({1, 0});
    QTest::newRow("horizontalLayout_2") << QStringList({sideways, "verticalLayout_2", sideways}) << QList<int>({0, 0, 0});
    QTest::newRow("verticalLayout_2") << QStringList({upright, "logoLabel", upright}) << QList<int>({0, 0, 0});
    QTest::newRow("horizontalLayout") << QStringList({"infoStackedWidget", "updateStackedWidget"}) << QList<int>({0, 0});
    QTest::newRow("horizontalLayout_3") << QStringList({"fileLabel", "selectFileButton"}) << QList<int>({1, 0});
    QTest::newRow("horizontalLayout_4") << QStringList({"groupBox", "selectFileButton_2"}) << QList<int>({0, 0});
    QTest::newRow("verticalLayout_8") << QStringList({"fixtureDisplayLabel", "applicationDisplayLabel"}) << QList<int>({0, 0});
    QTest::newRow("verticalLayout_5") << QStringList({"progressBar"}) << QList<int>({0});
    QTest::newRow("verticalLayout") << QStringList({"updateButton"}) << QList<int>({0});
    QTest::newRow("horizontalLayout_5") << QStringList({"cancelButton"}) << QList<int>({0});
    QTest::newRow("horizontalLayout_6") << QStringList({"horizontalLayout_7", "cancelButton_2"}) << QList<int>({0, 0});
    QTest::newRow("horizontalLayout_7") << QStringList() << QList<int>();
}

void tst_shellForm::layoutsHoldTheirItemsInOrder()
{
    QFETCH(QStringList, items);
    QFETCH(QList<int>, stretch);

    formOnWindow f;
    auto *layout = f.child<QBoxLayout>(QTest::currentDataTag());
    QVERIFY(layout);
    QCOMPARE(itemsOf(layout), items);
    QList<int> actualStretch;
    for (int i = 0; i < layout->count(); ++i)
        actualStretch << layout->stretch(i);
    QCOMPARE(actualStretch, stretch);
}

void tst_shellForm::pagesAndMarginsOfTheStackedWidgets()
{
    formOnWindow f;
    QCOMPARE(f.form.infoStackedWidget->count(), 3);
    QCOMPARE(f.form.infoStackedWidget->widget(0), f.form.selectFilePage);
    QCOMPARE(f.form.infoStackedWidget->widget(1), f.form.fixtureDisplayPage);
    QCOMPARE(f.form.infoStackedWidget->widget(2), f.form.progressPage);
    QCOMPARE(f.form.updateStackedWidget->count(), 3);
    QCOMPARE(f.form.updateStackedWidget->widget(0), f.form.startSendingPage);
    QCOMPARE(f.form.updateStackedWidget->widget(1), f.form.cancelSendingPage);
    QCOMPARE(f.form.updateStackedWidget->widget(2), f.form.finishedPage);
    QCOMPARE(f.form.updateStackedWidget->indexOf(f.form.progressPage), -1);
    QCOMPARE(f.form.infoStackedWidget->layoutDirection(), Qt::LeftToRight);

    // Each page sits flush in its stack; only the group boxes keep their frame spacing.
    for (const char *name : {"verticalLayout_3", "verticalLayout_7", "verticalLayout_8", "verticalLayout_4",
                             "verticalLayout_6", "verticalLayout_10"}) {
        auto *layout = f.child<QLayout>(name);
        QVERIFY(layout);
        QVERIFY2(layout->spacing() == 0, name);
        QVERIFY2(layout->contentsMargins() == QMargins(), name);
        QCOMPARE(layout->parentWidget()->layout(), layout);
    }
    QCOMPARE(f.form.groupBox->styleSheet(), QStringLiteral("border:none"));
    QCOMPARE(f.form.menubar->geometry(), QRect(0, 0, 706, 21));
    QCOMPARE(f.window.size(), QSize(706, 400));
    QCOMPARE(f.window.menuBar(), f.form.menubar);
    QCOMPARE(f.window.statusBar(), f.form.statusbar);
    QCOMPARE(f.window.centralWidget(), f.form.centralwidget);
}

void tst_shellForm::sizesAndPolicies_data()
{
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    const QSize none(0, 0);
    const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int P = QSizePolicy::Preferred, F = QSizePolicy::Fixed;
    QTest::newRow("logoLabel") << F << F << none << QSize(520, 130);
    QTest::newRow("infoStackedWidget") << P << P << none << unlimited;
    QTest::newRow("fileLabel") << int(QSizePolicy::Ignored) << P << QSize(0, 35) << QSize(QWIDGETSIZE_MAX, 35);
    QTest::newRow("selectFileButton") << F << F << QSize(100, 35) << unlimited;
    QTest::newRow("fixtureDisplayLabel") << int(QSizePolicy::MinimumExpanding) << P << QSize(200, 0) << unlimited;
    QTest::newRow("applicationDisplayLabel") << P << P << QSize(200, 0) << unlimited;
    QTest::newRow("selectFileButton_2") << int(QSizePolicy::Minimum) << F << QSize(100, 35) << unlimited;
    QTest::newRow("updateStackedWidget") << F << F << QSize(120, 68) << unlimited;
    QTest::newRow("startSendingPage") << P << P << QSize(120, 68) << unlimited;
    QTest::newRow("updateButton") << int(QSizePolicy::Minimum) << F << QSize(100, 35) << unlimited;
    QTest::newRow("cancelSendingPage") << P << P << QSize(120, 68) << unlimited;
    QTest::newRow("cancelSendingGroupBox") << P << P << QSize(0, 68) << unlimited;
    QTest::newRow("cancelButton") << int(QSizePolicy::Minimum) << F << QSize(100, 35) << unlimited;
    QTest::newRow("cancelButton_2") << int(QSizePolicy::Minimum) << F << QSize(100, 35) << unlimited;
}

void tst_shellForm::sizesAndPolicies()
{
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    formOnWindow f;
    auto *widget = f.child<QWidget>(QTest::currentDataTag());
    QVERIFY(widget);
    const QSizePolicy policy = widget->sizePolicy();
    QCOMPARE(int(policy.horizontalPolicy()), horizontal);
    QCOMPARE(int(policy.verticalPolicy()), vertical);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
}

void tst_shellForm::firstPagesShowAfterSetup()
{
    formOnWindow f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));

    QCOMPARE(f.form.infoStackedWidget->currentWidget(), f.form.selectFilePage);
    QCOMPARE(f.form.updateStackedWidget->currentWidget(), f.form.startSendingPage);
    QVERIFY(f.form.fileLabel->isVisible());
    QVERIFY(f.form.updateButton->isVisible());
    QVERIFY(!f.form.progressBar->isVisible());
    QVERIFY(!f.form.cancelButton->isVisible());
    QCOMPARE(f.form.progressBar->value(), 0);

    QCOMPARE(f.form.logoLabel->text(), QString());
    QVERIFY(f.form.logoLabel->hasScaledContents());
    QFont expected;
    expected.setPointSize(10);
    QCOMPARE(f.form.fileLabel->font(), expected);
}

void tst_shellForm::menusHoldTheirActionsInOrder()
{
    formOnWindow f;
    const QList<QAction *> bar = f.form.menubar->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar.at(0), f.form.menuApp->menuAction());
    QCOMPARE(bar.at(1), f.form.menuPort->menuAction());
    QCOMPARE(f.form.menuApp->actions(), QList<QAction *>({f.form.actionQuit}));

    // Interfaces are later inserted before the separator, which keeps them apart from Refresh.
    const QList<QAction *> port = f.form.menuPort->actions();
    QCOMPARE(port.size(), 2);
    QVERIFY(port.at(0)->isSeparator());
    QCOMPARE(port.at(1), f.form.actionRefreshPortsList);

    for (QAction *action : {f.form.actionQuit, f.form.actionRefreshPortsList}) {
        QVERIFY(action->shortcut().isEmpty());
        QCOMPARE(action->toolTip(), action->iconText()); // what an unset tool tip falls back to
        QVERIFY(action->statusTip().isEmpty());
    }
}

void tst_shellForm::objectNameOfTheWindowIsKeptIfSet()
{
    QMainWindow named;
    named.setObjectName(QStringLiteral("operatorWindow"));
    fixtureSoftwareUpdaterForm form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("operatorWindow"));

    formOnWindow unnamed;
    QCOMPARE(unnamed.window.objectName(), QStringLiteral("fixtureSoftwareUpdater"));
}

void tst_shellForm::textsGoThroughTranslationInTheWindowContext()
{
    markingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    formOnWindow f;
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(f.window.windowTitle(), QStringLiteral("<fixtureSoftwareUpdater>"));
    QCOMPARE(f.form.actionQuit->text(), QStringLiteral("<&Quit>"));
    QCOMPARE(f.form.actionRefreshPortsList->text(), QStringLiteral("<Refresh Interfaces List>"));
    QCOMPARE(f.form.logoLabel->text(), QString());
    QCOMPARE(f.form.selectFileGroupBox->title(), QStringLiteral("<Select File>"));
    QCOMPARE(f.form.fileLabel->text(), QStringLiteral("<No File Selected>"));
    QCOMPARE(f.form.selectFileButton->text(), QStringLiteral("<Select File>"));
    QCOMPARE(f.form.fixtureDisplayGroupBox->title(), QStringLiteral("<Update File Information>"));
    QCOMPARE(f.form.groupBox->title(), QString());
    QCOMPARE(f.form.fixtureDisplayLabel->text(), QStringLiteral("<Vendor Fixture>"));
    QCOMPARE(f.form.applicationDisplayLabel->text(), QStringLiteral("<Application v1.04>"));
    QCOMPARE(f.form.selectFileButton_2->text(), QStringLiteral("<Select File>"));
    QCOMPARE(f.form.progressGroupBox->title(), QStringLiteral("<Update Progress>"));
    QCOMPARE(f.form.startSendingGroupBox->title(), QStringLiteral("<Update>"));
    QCOMPARE(f.form.updateButton->text(), QStringLiteral("<Start>"));
    QCOMPARE(f.form.cancelSendingGroupBox->title(), QStringLiteral("<Update>"));
    QCOMPARE(f.form.cancelButton->text(), QStringLiteral("<Cancel>"));
    QCOMPARE(f.form.cancelButton_2->text(), QStringLiteral("<Cancel>"));
    QCOMPARE(f.form.menuApp->title(), QStringLiteral("<App>"));
    QCOMPARE(f.form.menuPort->title(), QStringLiteral("<Interfaces>"));
}

void tst_shellForm::longFileNameNeitherGrowsTheLabelNorWidensTheWindow()
{
    formOnWindow f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    const QSize before = f.window.size();
    const QSize hintBefore = f.window.sizeHint();

    f.form.fileLabel->setText(QStringLiteral("./") + QString(600, QLatin1Char('x')) + QStringLiteral(".fwb"));
    f.window.adjustSize();
    QCoreApplication::processEvents();

    QCOMPARE(f.form.fileLabel->height(), 35);
    QCOMPARE(f.window.sizeHint().width(), hintBefore.width());
    QVERIFY(f.window.width() <= qMax(before.width(), hintBefore.width()));
}

QTEST_MAIN(tst_shellForm)
#include "tst_shellForm.moc"
