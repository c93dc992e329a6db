#include "commands.h"
#include "serialInterfaces.h"
#include "serialPortAdvice.h"
#include "terminal.h"

#include <QJsonDocument>
#include <QJsonObject>


namespace {

QList<serialPortDescription> portList(bool all)
{
    const QList<serialPortDescription> ports = availableSerialPorts();
    QList<serialPortDescription> entries = interfaceMenu(ports);
    for (const serialPortDescription &port : ports) {
        if (all && !isListedInterface(port))
            entries.append(port);
    }
    return entries;
}

void printEntry(const serialPortDescription &port)
{
    const auto line = [](const QString &text) { terminal::printLine(stdout, text); };
    line(isListedInterface(port) ? interfaceMenuText(port) : port.portName + QStringLiteral(" (not in the menu: no serial number)"));
    const QString usb = QStringLiteral(", USB %1:%2").arg(port.vendorId, 4, 16, QLatin1Char('0')).arg(port.productId, 4, 16, QLatin1Char('0'));
    line(QStringLiteral("    port %1 at %2%3").arg(port.portName, port.systemLocation, port.vendorId >= 0 ? usb : QString()));
    // Only what the port reports: built-in ports often report nothing.
    QStringList details{port.description};
    details << (port.manufacturer.isEmpty() ? QString() : QStringLiteral("made by ") + port.manufacturer)
            << (port.serialNumber.isEmpty() ? QString() : QStringLiteral("serial number ") + port.serialNumber);
    details.removeAll(QString());
    const QString hint = portAccessHint(port.systemLocation);
    for (const QString &more : {details.join(QStringLiteral(", ")), hint}) {
        if (!more.isEmpty())
            line(QStringLiteral("    ") + more);
    }
}

} // namespace

QJsonArray interfaceList(bool all)
{
    QJsonArray entries;
    for (const serialPortDescription &port : portList(all)) {
        const bool listed = isListedInterface(port);
#ifdef Q_OS_LINUX
        const QJsonValue accessible = portAccessHint(port.systemLocation).isEmpty();
#else
        const QJsonValue accessible; // the system cannot say
#endif
        entries.append(QJsonObject{{"portName", port.portName}, {"systemLocation", port.systemLocation},
                                   {"label", listed ? QJsonValue(interfaceMenuText(port)) : QJsonValue()}, {"manufacturer", port.manufacturer},
                                   {"serialNumber", port.serialNumber}, {"description", port.description},
                                   {"vendorId", port.vendorId >= 0 ? QJsonValue(port.vendorId) : QJsonValue()},
                                   {"productId", port.productId >= 0 ? QJsonValue(port.productId) : QJsonValue()},
                                   {"listed", listed}, {"accessible", accessible}});
    }
    return entries;
}

int portsCommand(bool all, bool json)
{
    if (json) {
        terminal::printJson(QJsonDocument(interfaceList(all)));
        return exitCode::finished;
    }
    const QList<serialPortDescription> entries = portList(all);
    if (entries.isEmpty())
        terminal::printLine(stdout, all ? QStringLiteral("No serial ports.")
                                        : QStringLiteral("No interfaces; --all lists ports without a serial number."));
    for (const serialPortDescription &port : entries)
        printEntry(port);
    return exitCode::finished;
}
