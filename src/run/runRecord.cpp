#include "runRecord.h"

#include "printableText.h"
#include "serialPortAdvice.h"
#include "serialPortThread.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <iterator>

namespace {

const char *const endingNames[] = {"running", "finished", "canceled", "failed", "interrupted"};

QString openedLocation(const runInterface &interface)
{
    return portLocation(interface.device.isEmpty() ? interface.portName : interface.device);
}

bool isListed(const serialPortDescription &port, const QString &portName, const QString &location)
{
    const QString canonical = QFileInfo(location).canonicalFilePath();
    return port.portName == portName || port.systemLocation == location
        || (!canonical.isEmpty() && port.systemLocation == canonical);
}

// An adapter unplugged takes its device with it; where nothing is there, the ones that are listed now.
QString goneAdvice(const runInterface &interface)
{
    const QString location = openedLocation(interface);
    const QList<serialPortDescription> ports = availableSerialPorts();
    const bool listed = std::any_of(ports.cbegin(), ports.cend(), [&](const serialPortDescription &port) {
        return isListed(port, interface.portName, location);
    });
    if (listed || QFileInfo::exists(location))
        return QString();
    QStringList now;
    for (const serialPortDescription &port : interfaceMenu(ports))
        now << QStringLiteral("%1 (%2)").arg(interfaceMenuText(port), port.portName);
    return now.isEmpty() ? QStringLiteral("no interface at %1, and none is listed now").arg(location)
                         : QStringLiteral("no interface at %1; listed now: %2").arg(location, now.join(QStringLiteral(", ")));
}

} // namespace

runInterface runInterface::of(const QString &portName, const QList<serialPortDescription> &ports)
{
    runInterface interface{portName, QString(), QString(), QString(), portIdentity(portName)};
    const QString location = portLocation(portName);
    for (const serialPortDescription &port : ports) {
        if (isListed(port, portName, location)) {
            interface.serialNumber = port.serialNumber;
            interface.manufacturer = port.manufacturer;
            break;
        }
    }
    return interface;
}

bool runInterface::sameAs(const runInterface &other) const
{
    if (!serialNumber.isEmpty() || !other.serialNumber.isEmpty())
        return serialNumber == other.serialNumber && manufacturer == other.manufacturer;
    return deviceIdentity() == other.deviceIdentity();
}

QString runInterface::deviceIdentity() const
{
    return identity.isEmpty() ? portIdentity(portName) : identity;
}

QString runInterface::text() const
{
    const QString maker = QStringList{manufacturer, serialNumber}.join(QLatin1Char(' ')).trimmed();
    return maker.isEmpty() ? portName : QStringLiteral("%1 (%2)").arg(maker, portName);
}

bool runRecord::leftPartOfItself() const
{
    // Nobody counted the frames of a run the program did not see to its end.
    return ending == runEnding::interrupted || ((ending == runEnding::canceled || ending == runEnding::failed) && frames > 0);
}

namespace runWords {

QString partialUpdate(const runRecord &run)
{
    if (!run.leftPartOfItself())
        return QString();
    const QString opening = QStringLiteral("The fixture may hold part of the update: ");
    const QString closing = QStringLiteral(" Send the whole file again.");
    if (run.ending != runEnding::interrupted)
        return opening + QStringLiteral("%1 of %2 lines went out.").arg(run.linesOut).arg(run.lines) + closing;
    if (run.linesOut == 0)
        return opening + QStringLiteral("how many of its %1 lines went out is not known.").arg(run.lines) + closing;
    return opening + QStringLiteral("at least %1 of %2 lines went out.").arg(run.linesOut).arg(run.lines) + closing;
}

QString failureAdvice(const runRecord &run)
{
    if (run.failureKind == serialPortThread::interfaceCannotBreak)
        return breakAdvice();
    switch (run.portError) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError:
    case QSerialPort::NotOpenError:
        return goneAdvice(run.interface);
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("is %1 a serial interface?").arg(openedLocation(run.interface));
    default:
        return portErrorAdvice(run.portError, openedLocation(run.interface));
    }
}

QString sentence(const QString &advice)
{
    if (advice.isEmpty())
        return advice;
    return advice.at(0).toUpper() + advice.mid(1) + (advice.endsWith(QLatin1Char('?')) ? QString() : QStringLiteral("."));
}

QString ending(const runRecord &run)
{
    if (run.ending == runEnding::interrupted)
        return QStringLiteral("interrupted: the program ended before the update did");
    if (run.ending == runEnding::failed && !run.message.isEmpty())
        return QStringLiteral("failed: ") + run.message;
    return QLatin1String(endingName(run.ending));
}

QString file(const runRecord &run)
{
    if (!run.header.isComplete())
        return printableText(run.name);
    return printableText(QStringLiteral("%1, %2 (%3)").arg(run.header.fixtureText(), run.header.applicationText(), run.name));
}

QString summary(const runRecord &run)
{
    return QStringLiteral("%1, through %2, %3: %4.")
        .arg(file(run), printableText(run.interface.text()),
             run.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")), printableText(ending(run)));
}

const char *endingName(runEnding ending)
{
    return endingNames[int(ending)];
}

runEnding endingNamed(const QString &name)
{
    for (int index = 0; index < int(std::size(endingNames)); ++index) {
        if (name == QLatin1String(endingNames[index]))
            return runEnding(index);
    }
    return runEnding::interrupted;
}

} // namespace runWords
