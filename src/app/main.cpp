#include <QApplication>
#include <QStringList>

#include "commandLine.h"
#include "fixtureSoftwareUpdater.h"
#include "stopSignals.h"

namespace {

const char programName[] = "orvana-firmware-updater";

const char helpText[] = R"(Usage: %1 [FILE]
Sends firmware updates to lighting fixtures over a DMX512 interface, from a window.

  FILE        the update file to send (.fwb or .dmx), chosen as Select File would choose it;
              without it, the oldest update file of the current folder is chosen
  -h, --help  this help
  --version   the version

Qt's own options, such as -platform NAME or -style NAME, are accepted as well.
)";

// Qt's options (those of QGuiApplication, QApplication and the X11 plug-in), which its application object takes
// from the command line: the updater reads its own before that object exists.
const QStringList qtOptionsWithValue{"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                     "qwindowicon", "qwindowtitle", "session", "display", "geometry", "name", "visual",
                                     "style", "stylesheet"};
const QStringList qtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

struct commandLineRequest
{
    bool help = false, version = false;
    QString usageError;
    QStringList files;
};

// The first of --help and --version wins, whatever else is wrong; both answer without a window.
commandLineRequest readCommandLine(const QStringList &arguments)
{
    commandLineRequest request;
    bool optionsEnded = false;
    for (int index = 1; index < arguments.size(); ++index) {
        const QString &argument = arguments.at(index);
        // Qt takes "--platform" as "-platform", and "-style=fusion" as "-style fusion".
        const QString option = argument.startsWith(QLatin1String("--")) ? argument.mid(2) : argument.mid(1);
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            request.files << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            request.help = true;
            return request;
        } else if (argument == QLatin1String("--version")) {
            request.version = true;
            return request;
        } else if (qtOptionsWithValue.contains(option)) {
            ++index;
        } else if (!qtFlags.contains(option) && !qtOptionsWithValue.contains(option.section(QLatin1Char('='), 0, 0))
                   && !option.startsWith(QLatin1String("qmljsdebugger="))) {
            if (request.usageError.isEmpty())
                request.usageError = QStringLiteral("unknown option '%1'").arg(argument);
        }
    }
    if (request.usageError.isEmpty() && request.files.size() > 1)
        request.usageError = QStringLiteral("one update file at a time");
    return request;
}

} // namespace

int main(int argc, char *argv[])
{
    const commandLineRequest request = readCommandLine(commandLine::arguments(argc, argv));
    if (request.help)
        return commandLine::tell(QString::fromLatin1(helpText).arg(QLatin1String(programName)), false) ? 0 : 1;
    if (request.version)
        return commandLine::tell(QStringLiteral("%1 %2\n").arg(QLatin1String(programName), QStringLiteral(UPDATER_VERSION)), false) ? 0 : 1;
    if (!request.usageError.isEmpty()) {
        commandLine::tell(QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(QLatin1String(programName), request.usageError), true);
        return 2;
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // At 150 % the window scales as a whole, as Qt 6 does by itself, instead of drawing 100 % text in a
    // rounded-up frame.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    QApplication application(argc, argv);
    // Beside the program, where an installed copy keeps its libraries: the working
    // directory holds the update files, and a bundle could bring a "dll" folder.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/dll"));
    // Wayland desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvana.FirmwareUpdater"));

    // A logout, a closed terminal or a kill stops an update at a frame boundary, never inside a frame.
    stopSignals stopRequests;
    fixtureSoftwareUpdater window(request.files.value(0));
    QObject::connect(&stopRequests, &stopSignals::signalCaught, &window, &fixtureSoftwareUpdater::stopUpdateAndQuit);
    window.show();
    return application.exec();
}
