#include "windowRig.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>

#include <time.h>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "frameDecoder.h"
#include "modalAnswerer.h"
#include "serialPortDiscovery.h"

namespace {

QString listedPortName;

QList<serialPortDescription> listedPort()
{
    return {{listedPortName, QStringLiteral("virtual"), QStringLiteral("Example Corp"), QStringLiteral("R1")}};
}

template<typename T>
T *widget(const fixtureSoftwareUpdater &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QString currentPage(const fixtureSoftwareUpdater &window, const char *stack)
{
    return widget<QStackedWidget>(window, stack)->currentWidget()->objectName();
}

QtMessageHandler testLogHandler = nullptr;

void dropExpectedOutput(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || message.contains(QLatin1String("propagateSizeHints")))
        return;
    testLogHandler(type, context, message);
}

} // namespace

QByteArray standardHeader()
{
    return QByteArrayLiteral("#application\n#Vendor\n#Fixture\n#v1.04\n");
}

windowRig::windowRig(const QString &portName)
{
    listedPortName = portName;
    setSerialPortLister(listedPort);
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

bool windowRig::chooseFile(const QString &path)
{
    answerer->answerNextFileDialogWith(path);
    widget<QPushButton>(*updater, "selectFileButton")->click();
    return widget<QLabel>(*updater, "fileLabel")->text() == path && answerer->unexpectedFileDialogs == 0;
}

bool windowRig::clickStart()
{
    auto *button = widget<QPushButton>(*updater, "updateButton");
    if (!button->isEnabled() || button->text() != QLatin1String("Start"))
        return false;
    button->click();
    return true;
}

void windowRig::clickCancel()
{
    widget<QPushButton>(*updater, "cancelButton")->click();
}

void windowRig::clickUpdateButton()
{
    widget<QPushButton>(*updater, "updateButton")->click();
}

QString windowRig::buttonText() const
{
    return widget<QPushButton>(*updater, "updateButton")->text();
}

bool windowRig::isSending() const
{
    return currentPage(*updater, "updateStackedWidget") == QLatin1String("cancelSendingPage");
}

bool windowRig::hasEndedAs(const QString &text) const
{
    return !isSending() && buttonText() == text && widget<QPushButton>(*updater, "updateButton")->isEnabled();
}

bool windowRig::isIdleAfterError() const
{
    return currentPage(*updater, "infoStackedWidget") == QLatin1String("selectFilePage")
        && currentPage(*updater, "updateStackedWidget") == QLatin1String("startSendingPage")
        && widget<QPushButton>(*updater, "updateButton")->isEnabled() && buttonText() == QLatin1String("Start")
        && progressValue() == 0 && widget<QLabel>(*updater, "applicationDisplayLabel")->text().isEmpty()
        && widget<QLabel>(*updater, "fixtureDisplayLabel")->text().isEmpty();
}

int windowRig::progressValue() const
{
    return widget<QProgressBar>(*updater, "progressBar")->value();
}

QStringList windowRig::messages() const
{
    return answerer->messageTexts;
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

QString updateFiles::path(const QString &name) const
{
    return files.filePath(name);
}
