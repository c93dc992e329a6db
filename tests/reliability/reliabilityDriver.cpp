// The real window in a process of its own, for tests that need one: Quit
// must end the process, and some port failures only exist between processes
// or users. The window takes the oldest update file of its working directory;
// the update starts at once and every message box is answered.
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
#include <QSerialPort>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "dmxShim.h"
#include "fixtureSoftwareUpdater.h"
#include "virtualDmxAdapter.h"
#include "windowRig.h"

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
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

// Reports what the window shows, and quits through its menu once the frames are out.
void follow(windowRig &rig, int &reported, int &quitAfterFrames, QTimer &poll)
{
    while (reported < rig.messages().size())
        say(QStringLiteral("box ") + rig.messages().at(reported++));
    if (quitAfterFrames >= 0 && breaksOnTheWire() >= quitAfterFrames) {
        quitAfterFrames = -1;
        say(QStringLiteral("quit %1").arg(monotonicNs()));
        rig.window().findChild<QAction *>(QStringLiteral("actionQuit"))->trigger();
    } else if (!rig.isSending() && rig.buttonEnabled()) {
        poll.stop();
        say(QStringLiteral("end ") + rig.buttonText());
        QCoreApplication::quit();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto valueOf = [&](const char *option) {
        const int at = arguments.indexOf(QLatin1String(option));
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
    };
    if (!valueOf("--hold").isEmpty())
        return holdPort(argc, argv, valueOf("--hold"));

    QApplication application(argc, argv);
    quietenExpectedOutput();
    std::unique_ptr<virtualDmxAdapter> ownAdapter;
    QString portName = valueOf("--port");
    if (portName.isEmpty()) {
        ownAdapter = std::make_unique<virtualDmxAdapter>();
        if (!ownAdapter->isValid())
            return 2;
        portName = ownAdapter->portName();
    }
    bool hasQuitFrame = false;
    int quitAfterFrames = valueOf("--quit-after-frames").toInt(&hasQuitFrame);
    if (!hasQuitFrame)
        quitAfterFrames = -1;

    windowRig rig(portName);
    if (!rig.clickStart()) {
        say(QStringLiteral("no update file or port"));
        return 3;
    }
    int reported = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { follow(rig, reported, quitAfterFrames, poll); });
    poll.start(2);
    return application.exec();
}
