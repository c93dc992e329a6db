#include "commandLine.h"

#include <QCoreApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvana-firmware-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOOL_VERSION));
    // The worker narrates every frame in debug lines; they would bury the progress.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return runCommandLine(application.arguments());
}
