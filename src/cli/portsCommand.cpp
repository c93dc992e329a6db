#include "portsCommand.h"

#include "exitCodes.h"
#include "portAccess.h"
#include "serialInterfaces.h"
#include "terminalOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject describe(const serialPortDescription &port)
{
    const bool listed = isListedInterface(port);
    return QJsonObject{{"portName", port.portName},
                       {"systemLocation", port.systemLocation},
                       {"label", listed ? QJsonValue(interfaceMenuText(port)) : QJsonValue()},
                       {"manufacturer", port.manufacturer},
                       {"serialNumber", port.serialNumber},
                       {"description", port.description},
                       {"vendorId", port.vendorId >= 0 ? QJsonValue(port.vendorId) : QJsonValue()},
                       {"productId", port.productId >= 0 ? QJsonValue(port.productId) : QJsonValue()},
                       {"listed", listed},
                       {"accessible", checkPortAccess(port.systemLocation).accessible}};
}

QString usbIds(const QJsonObject &entry)
{
    if (entry.value(QLatin1String("vendorId")).isNull())
        return QString();
    const auto hex = [&](const char *key) {
        return QStringLiteral("%1").arg(entry.value(QLatin1String(key)).toInt(), 4, 16, QLatin1Char('0'));
    };
    return QStringLiteral(", USB %1:%2").arg(hex("vendorId"), hex("productId"));
}

void printEntry(const QJsonObject &entry)
{
    const auto text = [&](const char *key) { return entry.value(QLatin1String(key)).toString(); };
    const QString title = entry.value(QLatin1String("listed")).toBool()
        ? text("label")
        : QStringLiteral("%1 (not in the menu: no serial number)").arg(text("portName"));
    terminalOutput::printLine(stdout, title);
    terminalOutput::printLine(stdout, QStringLiteral("    port %1 at %2%3")
                                          .arg(text("portName"), text("systemLocation"), usbIds(entry)));
    // Only what the port reports: built-in ports often report nothing.
    QStringList details{text("description")};
    if (!text("manufacturer").isEmpty())
        details << QStringLiteral("made by ") + text("manufacturer");
    if (!text("serialNumber").isEmpty())
        details << QStringLiteral("serial number ") + text("serialNumber");
    details.removeAll(QString());
    if (!details.isEmpty())
        terminalOutput::printLine(stdout, QStringLiteral("    ") + details.join(QStringLiteral(", ")));
    const QString hint = checkPortAccess(text("systemLocation")).hint;
    if (!hint.isEmpty())
        terminalOutput::printLine(stdout, QStringLiteral("    ") + hint);
}

} // namespace

QJsonArray interfaceList(bool all)
{
    QJsonArray listed, leftOut;
    const QList<serialPortDescription> ports = availableSerialPorts();
    // The window puts every interface it lists above the ones before it.
    for (auto port = ports.crbegin(); port != ports.crend(); ++port)
        (isListedInterface(*port) ? listed : leftOut).append(describe(*port));
    if (all)
        for (const QJsonValue &entry : leftOut)
            listed.append(entry);
    return listed;
}

int portsCommand(bool all, bool json)
{
    const QJsonArray entries = interfaceList(all);
    if (json) {
        terminalOutput::print(stdout, QString::fromUtf8(QJsonDocument(entries).toJson()));
        return exitCode::finished;
    }
    if (entries.isEmpty())
        terminalOutput::printLine(stdout, all ? QStringLiteral("No serial ports.")
                                              : QStringLiteral("No interfaces; --all lists ports without a serial number."));
    for (const QJsonValue &entry : entries)
        printEntry(entry.toObject());
    return exitCode::finished;
}
