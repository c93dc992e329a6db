// The form on a bare QMainWindow: tree, layout, initial state and texts.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTranslator>
#include <QtTest>

#include <cstddef>

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
    T *child(const char *name) const { return window.findChild<T *>(QLatin1String(name)); }
};

// Qt names some helpers of its own, such as the menu bar's extension button.
bool isNamedByTheForm(const QObject *object)
{
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !name.startsWith(QLatin1Char('_'));
}

// A stack raises its current page, which reorders its children; the pages keep their order.
QObjectList childrenInOrder(const QObject *parent)
{
    auto *stack = qobject_cast<const QStackedWidget *>(parent);
    if (!stack)
        return parent->children();
    QObjectList pages;
    for (int i = 0; i < stack->count(); ++i)
        pages << stack->widget(i);
    return pages;
}

// Every named object's named children, class and name, in creation order.
QStringList objectTree(const QObject *root)
{
    QStringList tree;
    QList<const QObject *> queue{root};
    for (int i = 0; i < queue.size(); ++i) {
        QStringList children;
        for (const QObject *child : childrenInOrder(queue.at(i))) {
            if (!isNamedByTheForm(child))
                continue;
            children << QLatin1String(child->metaObject()->className()) + QLatin1Char(' ') + child->objectName();
            queue << child;
        }
        if (!children.isEmpty())
            tree << queue.at(i)->objectName() + QLatin1String(": ") + children.join(QLatin1String(", "));
    }
    return tree;
}

QString describe(QLayoutItem *item)
{
    if (QSpacerItem *spacer = item->spacerItem()) {
        const QMetaEnum policy = QMetaEnum::fromType<QSizePolicy::Policy>();
        return QStringLiteral("spacer %1x%2 %3/%4").arg(spacer->sizeHint().width()).arg(spacer->sizeHint().height())
            .arg(policy.valueToKey(spacer->sizePolicy().horizontalPolicy()))
            .arg(policy.valueToKey(spacer->sizePolicy().verticalPolicy()));
    }
    return item->widget() ? item->widget()->objectName() : item->layout()->objectName();
}

// Each of the form's box layouts with its items in order; a stretch factor follows a "*".
QStringList layoutItems(const QMainWindow &window)
{
    QStringList layouts;
    for (QBoxLayout *layout : window.findChildren<QBoxLayout *>()) {
        if (!isNamedByTheForm(layout))
            continue;
        QStringList items;
        for (int i = 0; i < layout->count(); ++i) {
            const int stretch = layout->stretch(i);
            items << describe(layout->itemAt(i)) + (stretch ? QStringLiteral(" *%1").arg(stretch) : QString());
        }
        layouts << layout->objectName() + QLatin1String(": ") + items.join(QLatin1String(", "));
    }
    layouts.sort();
    return layouts;
}

} // namespace

class tst_shellForm : public QObject
{
    Q_OBJECT

private slots:
    void membersAreDeclaredInCreationOrder();
    void objectsHaveTheirClassParentAndOrder();
    void layoutsHoldTheirItemsInOrder();
    void firstPagesMenusAndWindow();
    void sizesAndPolicies_data();
    void sizesAndPolicies();
    void textsGoThroughTranslationInTheWindowContext();
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
}

void tst_shellForm::objectsHaveTheirClassParentAndOrder()
{
    formOnWindow f;
    QCOMPARE(objectTree(&f.window), QStringList({
        "fixtureSoftwareUpdater: QAction actionQuit, QAction actionRefreshPortsList, QWidget centralwidget, "
            "QMenuBar menubar, QStatusBar statusbar",
        "centralwidget: QVBoxLayout mainLayout, QLabel logoLabel, QStackedWidget infoStackedWidget, "
            "QStackedWidget updateStackedWidget",
        "menubar: QMenu menuApp, QMenu menuPort",
        "mainLayout: QHBoxLayout horizontalLayout_2, QHBoxLayout horizontalLayout",
        "infoStackedWidget: QWidget selectFilePage, QWidget fixtureDisplayPage, QWidget progressPage",
        "updateStackedWidget: QWidget startSendingPage, QWidget cancelSendingPage, QWidget finishedPage",
        "horizontalLayout_2: QVBoxLayout verticalLayout_2",
        "selectFilePage: QVBoxLayout verticalLayout_3, QGroupBox selectFileGroupBox",
        "fixtureDisplayPage: QVBoxLayout verticalLayout_7, QGroupBox fixtureDisplayGroupBox",
        "progressPage: QVBoxLayout verticalLayout_4, QGroupBox progressGroupBox",
        "startSendingPage: QVBoxLayout verticalLayout_6, QGroupBox startSendingGroupBox",
        "cancelSendingPage: QVBoxLayout verticalLayout_10, QGroupBox cancelSendingGroupBox",
        "finishedPage: QHBoxLayout horizontalLayout_6, QPushButton cancelButton_2",
        "selectFileGroupBox: QHBoxLayout horizontalLayout_3, QLabel fileLabel, QPushButton selectFileButton",
        "fixtureDisplayGroupBox: QHBoxLayout horizontalLayout_4, QGroupBox groupBox, QPushButton selectFileButton_2",
        "progressGroupBox: QVBoxLayout verticalLayout_5, QProgressBar progressBar",
        "startSendingGroupBox: QVBoxLayout verticalLayout, QPushButton updateButton",
        "cancelSendingGroupBox: QHBoxLayout horizontalLayout_5, QPushButton cancelButton",
        "horizontalLayout_6: QHBoxLayout horizontalLayout_7",
        "groupBox: QVBoxLayout verticalLayout_8, QLabel fixtureDisplayLabel, QLabel applicationDisplayLabel",
    }));
}

void tst_shellForm::layoutsHoldTheirItemsInOrder()
{
    formOnWindow f;
    QCOMPARE(layoutItems(f.window), QStringList({
        "horizontalLayout: infoStackedWidget, updateStackedWidget",
        "horizontalLayout_2: spacer 40x20 Expanding/Minimum, verticalLayout_2, spacer 40x20 Expanding/Minimum",
        "horizontalLayout_3: fileLabel *1, selectFileButton",
        "horizontalLayout_4: groupBox, selectFileButton_2",
        "horizontalLayout_5: cancelButton",
        "horizontalLayout_6: horizontalLayout_7, cancelButton_2",
        "horizontalLayout_7: ",
        "mainLayout: horizontalLayout_2 *1, horizontalLayout",
        "verticalLayout: updateButton",
        "verticalLayout_10: cancelSendingGroupBox",
        "verticalLayout_2: spacer 20x40 Minimum/Expanding, logoLabel, spacer 20x40 Minimum/Expanding",
        "verticalLayout_3: selectFileGroupBox",
        "verticalLayout_4: progressGroupBox",
        "verticalLayout_5: progressBar",
        "verticalLayout_6: startSendingGroupBox",
        "verticalLayout_7: fixtureDisplayGroupBox",
        "verticalLayout_8: fixtureDisplayLabel, applicationDisplayLabel",
    }));
}

void tst_shellForm::firstPagesMenusAndWindow()
{
    formOnWindow f;
    QCOMPARE(f.form.infoStackedWidget->currentWidget(), f.form.selectFilePage);
    QCOMPARE(f.form.updateStackedWidget->currentWidget(), f.form.startSendingPage);
    QCOMPARE(f.form.infoStackedWidget->layoutDirection(), Qt::LeftToRight);

    // Each page sits flush in its stack; only the group boxes keep their frame spacing.
    for (const char *name : {"verticalLayout_3", "verticalLayout_7", "verticalLayout_8", "verticalLayout_4",
                             "verticalLayout_6", "verticalLayout_10"}) {
        auto *layout = f.child<QLayout>(name);
        QVERIFY2(layout && layout->spacing() == 0 && layout->contentsMargins() == QMargins(), name);
        QCOMPARE(layout->parentWidget()->layout(), layout);
    }
    QCOMPARE(f.form.groupBox->styleSheet(), QStringLiteral("border:none"));
    QVERIFY(f.form.logoLabel->hasScaledContents());
    QFont tenPoint;
    tenPoint.setPointSize(10);
    QCOMPARE(f.form.fileLabel->font(), tenPoint);

    QCOMPARE(f.form.menubar->actions(),
             QList<QAction *>({f.form.menuApp->menuAction(), f.form.menuPort->menuAction()}));
    QCOMPARE(f.form.menuApp->actions(), QList<QAction *>({f.form.actionQuit}));
    // Interfaces are later inserted before the separator, which keeps them apart from Refresh.
    const QList<QAction *> port = f.form.menuPort->actions();
    QVERIFY(port.size() == 2 && port.at(0)->isSeparator());
    QCOMPARE(port.at(1), f.form.actionRefreshPortsList);
    for (QAction *action : {f.form.actionQuit, f.form.actionRefreshPortsList}) {
        QVERIFY(action->shortcut().isEmpty() && action->statusTip().isEmpty());
        QCOMPARE(action->toolTip(), action->iconText()); // what an unset tool tip falls back to
    }

    QCOMPARE(f.form.menubar->geometry(), QRect(0, 0, 706, 21));
    QCOMPARE(f.window.size(), QSize(706, 400));
    QCOMPARE(f.window.menuBar(), f.form.menubar);
    QCOMPARE(f.window.statusBar(), f.form.statusbar);
    QCOMPARE(f.window.centralWidget(), f.form.centralwidget);

    QMainWindow named;
    named.setObjectName(QStringLiteral("operatorWindow"));
    fixtureSoftwareUpdaterForm form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("operatorWindow"));
}

void tst_shellForm::sizesAndPolicies_data()
{
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    const QSize none(0, 0), unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int P = QSizePolicy::Preferred, F = QSizePolicy::Fixed, M = QSizePolicy::Minimum;
    QTest::newRow("logoLabel") << F << F << none << QSize(520, 130);
    QTest::newRow("infoStackedWidget") << P << P << none << unlimited;
    QTest::newRow("fileLabel") << int(QSizePolicy::Ignored) << P << QSize(0, 35) << QSize(QWIDGETSIZE_MAX, 35);
    QTest::newRow("selectFileButton") << F << F << QSize(100, 35) << unlimited;
    QTest::newRow("fixtureDisplayLabel") << int(QSizePolicy::MinimumExpanding) << P << QSize(200, 0) << unlimited;
    QTest::newRow("applicationDisplayLabel") << P << P << QSize(200, 0) << unlimited;
    QTest::newRow("selectFileButton_2") << M << F << QSize(100, 35) << unlimited;
    QTest::newRow("updateStackedWidget") << F << F << QSize(120, 68) << unlimited;
    QTest::newRow("startSendingPage") << P << P << QSize(120, 68) << unlimited;
    QTest::newRow("updateButton") << M << F << QSize(100, 35) << unlimited;
    QTest::newRow("cancelSendingPage") << P << P << QSize(120, 68) << unlimited;
    QTest::newRow("cancelSendingGroupBox") << P << P << QSize(0, 68) << unlimited;
    QTest::newRow("cancelButton") << M << F << QSize(100, 35) << unlimited;
    QTest::newRow("cancelButton_2") << M << F << QSize(100, 35) << unlimited;
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
    QCOMPARE(policy.horizontalStretch() + policy.verticalStretch(), 0);
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
}

void tst_shellForm::textsGoThroughTranslationInTheWindowContext()
{
    markingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    formOnWindow f;
    QCoreApplication::removeTranslator(&translator);

    // Every text on show, so an extra one (the logo's, say) fails too; the bar's is derived.
    QStringList texts;
    const QList<QObject *> objects = f.window.findChildren<QObject *>() << &f.window;
    for (const QObject *object : objects) {
        for (const char *property : {"windowTitle", "title", "text"}) {
            const QString text = object->property(property).toString();
            if (isNamedByTheForm(object) && !text.isEmpty())
                texts << object->objectName() + QLatin1Char('.') + QLatin1String(property) + QLatin1Char('=') + text;
        }
    }
    texts.sort();
    QCOMPARE(texts, QStringList({
        "actionQuit.text=<&Quit>", "actionRefreshPortsList.text=<Refresh Interfaces List>",
        "applicationDisplayLabel.text=<Application v1.04>", "cancelButton.text=<Cancel>",
        "cancelButton_2.text=<Cancel>", "cancelSendingGroupBox.title=<Update>",
        "fileLabel.text=<No File Selected>", "fixtureDisplayGroupBox.title=<Update File Information>",
        "fixtureDisplayLabel.text=<Vendor Fixture>", "fixtureSoftwareUpdater.windowTitle=<fixtureSoftwareUpdater>",
        "menuApp.title=<App>", "menuPort.title=<Interfaces>", "progressBar.text=0%",
        "progressGroupBox.title=<Update Progress>",
        "selectFileButton.text=<Select File>", "selectFileButton_2.text=<Select File>",
        "selectFileGroupBox.title=<Select File>", "startSendingGroupBox.title=<Update>", "updateButton.text=<Start>",
    }));
}

QTEST_MAIN(tst_shellForm)
#include "tst_shellForm.moc"
