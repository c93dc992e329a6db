#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include "fixtureSoftwareUpdater.h"
#include "stopSignals.h"

namespace {

const char programName[] = "orvana-firmware-updater";

const char helpText[] = R"(Usage: %s [FILE]
Sends firmware updates to lighting fixtures over a DMX512 interface, from a window.

  FILE        the update file to send (.fwb or .dmx), chosen as Select File would choose it;
              without it, the oldest update file of the current folder is chosen
  -h, --help  this help
  --version   the version

Qt's own options, such as -platform NAME or -style NAME, are accepted as well.
)";

// Answered before the application object exists, which needs a display.
bool answeredWithoutWindow(int argc, char *argv[])
{
    for (int index = 1; index < argc && std::strcmp(argv[index], "--") != 0; ++index) {
        if (std::strcmp(argv[index], "--help") == 0 || std::strcmp(argv[index], "-h") == 0) {
            std::printf(helpText, programName);
            return true;
        }
        if (std::strcmp(argv[index], "--version") == 0) {
            std::printf("%s %s\n", programName, UPDATER_VERSION);
            return true;
        }
    }
    return false;
}

int usageError(const QString &what)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", programName, qPrintable(what), programName);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredWithoutWindow(argc, argv))
        return std::fflush(stdout) == 0 ? 0 : 1;

    QApplication application(argc, argv);
    // Beside the program, where an installed copy keeps its libraries: the working
    // directory holds the update files, and a bundle could bring a "dll" folder.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/dll"));
    // Wayland desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvana.FirmwareUpdater"));

    // What Qt left of the command line: its own options are gone.
    QStringList files;
    bool optionsEnded = false;
    for (const QString &argument : QCoreApplication::arguments().mid(1)) {
        if (!optionsEnded && argument == QLatin1String("--"))
            optionsEnded = true;
        else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return usageError(QStringLiteral("unknown option '%1'").arg(argument));
        else
            files << argument;
    }
    if (files.size() > 1)
        return usageError(QStringLiteral("one update file at a time"));

    // A logout, a closed terminal or a kill stops an update at a frame boundary, never inside a frame.
    stopSignals stopRequests;
    fixtureSoftwareUpdater window(files.value(0));
    QObject::connect(&stopRequests, &stopSignals::signalCaught, &window, &fixtureSoftwareUpdater::stopUpdateAndQuit);
    window.show();
    return application.exec();
}
