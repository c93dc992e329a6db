#include "windowRig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QQueue>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>

#include <time.h>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "frameDecoder.h"
#include "serialPortDiscovery.h"

// A timer of its own, not a zero-delay call on the window: the window drops
// queued calls to itself when it stops a worker.
class modalAnswerer
{
public:
    modalAnswerer()
    {
        QObject::connect(&poll, &QTimer::timeout, [this] { answerActiveModal(); });
        poll.start(10);
    }

    QQueue<QString> fileAnswers;
    QStringList messageTexts;
    QVector<fileDialogSeen> fileDialogs;
    int unexpectedFileDialogs = 0;

private:
    void answerActiveModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        // A dialog that did not take its answer must not be answered forever.
        if (!modal || modal == lastAnswered)
            return;
        lastAnswered = modal;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal))
            answerFileDialog(dialog);
        else if (auto *box = qobject_cast<QMessageBox *>(modal))
            answerMessageBox(box);
    }

    void answerFileDialog(QFileDialog *dialog)
    {
        fileDialogs.append({dialog->windowTitle(), dialog->nameFilters().join(QLatin1Char(';')),
                            dialog->directory().canonicalPath()});
        if (fileAnswers.isEmpty())
            ++unexpectedFileDialogs;
        const QString path = fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
        auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (path.isEmpty() || !nameEdit) {
            dialog->reject();
            return;
        }
        // Typed in like an operator would, so the dialog's own checks apply.
        nameEdit->setText(path);
        static_cast<QDialog *>(dialog)->accept();
        // A name the dialog refuses leaves it open; close it so the test goes on.
        if (dialog->isVisible())
            dialog->reject();
    }

    void answerMessageBox(QMessageBox *box)
    {
        messageTexts << box->text();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
    }

    QTimer poll;
    QPointer<QWidget> lastAnswered;
};

namespace {

QString listedPortName;

QList<serialPortDescription> listedPorts()
{
    if (listedPortName.isEmpty())
        return {};
    return {{listedPortName, QStringLiteral("virtual"), QStringLiteral("Example Corp"), QStringLiteral("R1")}};
}

QtMessageHandler testLogHandler = nullptr;

void dropExpectedOutput(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || message.contains(QLatin1String("propagateSizeHints")))
        return;
    testLogHandler(type, context, message);
}

} // namespace

windowRig::windowRig(const QString &portName)
{
    listedPortName = portName;
    setSerialPortLister(listedPorts);
    // The window lists the ports as it starts and takes the last one.
    updater = std::make_unique<fixtureSoftwareUpdater>();
    updater->show();
    answerer = std::make_unique<modalAnswerer>();
}

windowRig::~windowRig()
{
    updater.reset();
    answerer.reset();
    setSerialPortLister(nullptr);
}

QWidget *windowRig::find(const char *name) const
{
    auto *found = updater->findChild<QWidget *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

void windowRig::answerNextFileDialogWith(const QString &path)
{
    answerer->fileAnswers.enqueue(path);
}

bool windowRig::chooseFile(const QString &path)
{
    answerNextFileDialogWith(path);
    click("selectFileButton");
    return labelText("fileLabel") == path && answerer->unexpectedFileDialogs == 0;
}

bool windowRig::clickStart()
{
    if (!buttonEnabled() || buttonText() != QLatin1String("Start"))
        return false;
    clickUpdateButton();
    return true;
}

void windowRig::clickCancel()
{
    click("cancelButton");
}

void windowRig::clickUpdateButton()
{
    click("updateButton");
}

void windowRig::click(const char *buttonName)
{
    static_cast<QPushButton *>(find(buttonName))->click();
}

QString windowRig::buttonText() const
{
    return static_cast<QPushButton *>(find("updateButton"))->text();
}

bool windowRig::buttonEnabled() const
{
    return find("updateButton")->isEnabled();
}

bool windowRig::isSending() const
{
    return currentPage("updateStackedWidget") == QLatin1String("cancelSendingPage");
}

bool windowRig::hasEndedAs(const QString &text) const
{
    return !isSending() && buttonText() == text && buttonEnabled();
}

bool windowRig::isIdleAfterError() const
{
    return currentPage("infoStackedWidget") == QLatin1String("selectFilePage") && hasEndedAs(QStringLiteral("Start"))
        && progressValue() == 0 && labelText("applicationDisplayLabel").isEmpty()
        && labelText("fixtureDisplayLabel").isEmpty();
}

int windowRig::progressValue() const
{
    return static_cast<QProgressBar *>(find("progressBar"))->value();
}

int windowRig::progressMaximum() const
{
    return static_cast<QProgressBar *>(find("progressBar"))->maximum();
}

QString windowRig::labelText(const char *name) const
{
    return static_cast<QLabel *>(find(name))->text();
}

QString windowRig::currentPage(const char *stackName) const
{
    return static_cast<QStackedWidget *>(find(stackName))->currentWidget()->objectName();
}

QStringList windowRig::messages() const
{
    return answerer->messageTexts;
}

QVector<fileDialogSeen> windowRig::fileDialogs() const
{
    return answerer->fileDialogs;
}

void quietenExpectedOutput()
{
    if (!testLogHandler)
        testLogHandler = qInstallMessageHandler(dropExpectedOutput);
}

qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool waitUntil(const std::function<bool()> &condition, qint64 deadlineNs)
{
    while (!condition()) {
        if (monotonicNs() >= deadlineNs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    return waitUntil(condition, monotonicNs() + qint64(timeoutMs) * 1000000);
}

QVector<QByteArray> framesOnTheWire()
{
    return frameBytes(decodeFrames(dmxShim::events()));
}

int breaksOnTheWire()
{
    return dmxShim::eventCount(dmxShim::event::BreakOn);
}

quint32 campaignSeed(quint32 fixedSeed)
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("REL_SEED").toUInt(&ok, 0);
    return ok ? seed : fixedSeed;
}

updateFiles::updateFiles()
{
    if (!files.isValid())
        qFatal("no temporary directory");
}

QString updateFiles::write(const QString &name, const QByteArray &contents)
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QByteArray standardHeader()
{
    return QByteArrayLiteral("#application\n#Vendor\n#Fixture\n#v1.04\n");
}
