// The real window in a process of its own, for tests that need one: Quit
// must end the process, and some port failures only exist between processes
// or users. It takes the oldest update file of its working directory, as the
// updater does, starts the update at once and answers every message box.
//
//   reliabilityDriver [--port PATH] [--quit-after-frames N]
//       without --port it makes a virtual adapter of its own. Prints
//       "box <text>" for each message box, "quit <CLOCK_MONOTONIC ns>" as it
//       triggers Quit, "end <button text>" when the update is over.
//   reliabilityDriver --hold PATH
//       opens PATH as a serial port, prints "held" or "failed <reason>",
//       and keeps it open until its standard input closes.

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <time.h>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "modalAnswerer.h"
#include "serialPortDiscovery.h"
#include "virtualDmxAdapter.h"

namespace {

QString portName;

QList<serialPortDescription> listedPort()
{
    return {{portName, QStringLiteral("virtual"), QStringLiteral("Example Corp"), QStringLiteral("R1")}};
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void dropDebugLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && !message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int holdPort(int argc, char *argv[], const QString &path)
{
    QCoreApplication application(argc, argv);
    QSerialPort port(path);
    if (!port.open(QIODevice::ReadWrite)) {
        say(QStringLiteral("failed ") + port.errorString());
        return 1;
    }
    say(QStringLiteral("held"));
    while (std::getchar() != EOF) { }
    return 0;
}

class updateFollower : public QObject
{
public:
    updateFollower(fixtureSoftwareUpdater &window, int quitAfterFrames)
        : window(window), quitAfterFrames(quitAfterFrames)
    {
        connect(&poll, &QTimer::timeout, this, &updateFollower::look);
        poll.start(2);
    }

private:
    void look()
    {
        while (reported < answerer.messageTexts.size())
            say(QStringLiteral("box ") + answerer.messageTexts.at(reported++));
        if (quitAfterFrames >= 0 && dmxShim::eventCount(dmxShim::event::BreakOn) >= quitAfterFrames) {
            quitAfterFrames = -1;
            say(QStringLiteral("quit %1").arg(monotonicNs()));
            window.findChild<QAction *>(QStringLiteral("actionQuit"))->trigger();
            return;
        }
        auto *button = window.findChild<QPushButton *>(QStringLiteral("updateButton"));
        auto *pages = window.findChild<QStackedWidget *>(QStringLiteral("updateStackedWidget"));
        if (button->isEnabled() && pages->currentIndex() == 0) {
            poll.stop();
            say(QStringLiteral("end ") + button->text());
            QCoreApplication::quit();
        }
    }

    fixtureSoftwareUpdater &window;
    int quitAfterFrames;
    modalAnswerer answerer;
    QTimer poll;
    int reported = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(dropDebugLines);
    const QStringList arguments = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const auto valueOf = [&](const char *option) {
        const int at = arguments.indexOf(QLatin1String(option));
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
    };
    if (!valueOf("--hold").isEmpty())
        return holdPort(argc, argv, valueOf("--hold"));

    QApplication application(argc, argv);
    std::unique_ptr<virtualDmxAdapter> ownAdapter;
    portName = valueOf("--port");
    if (portName.isEmpty()) {
        ownAdapter = std::make_unique<virtualDmxAdapter>();
        if (!ownAdapter->isValid())
            return 2;
        portName = ownAdapter->portName();
    }
    bool hasQuitFrame = false;
    const int quitAfterFrames = valueOf("--quit-after-frames").toInt(&hasQuitFrame);
    setSerialPortLister(listedPort);

    fixtureSoftwareUpdater window;
    window.show();
    auto *start = window.findChild<QPushButton *>(QStringLiteral("updateButton"));
    if (!start->isEnabled()) {
        say(QStringLiteral("no update file or port"));
        return 3;
    }
    updateFollower follower(window, hasQuitFrame ? quitAfterFrames : -1);
    QTimer::singleShot(0, start, &QPushButton::click);
    return application.exec();
}
