#include "fixtureSoftwareUpdater.h"

#include <QDebug>
#include <QSerialPort>

#include <algorithm>

#include "dmxWire.h"
#include "serialPortAdvice.h"
#include "serialPortErrorText.h"

namespace {

// The shared advice is worded for a line of its own; here it is a sentence of a box.
QString asSentence(const QString &advice)
{
    if (advice.isEmpty())
        return advice;
    return advice.at(0).toUpper() + advice.mid(1) + (advice.endsWith(QLatin1Char('?')) ? QString() : QStringLiteral("."));
}

} // namespace

void fixtureSoftwareUpdater::serialPortError(int error)
{
    qDebug() << "error recieved:" << error;

    // The worker never reports NoError; if it arrives anyway the run goes on.
    if (error == QSerialPort::NoError)
        return;

    const QString message = serialPortErrorMessage(error);
    if (message.isEmpty())
        resetUpdateState();
    else
        reportAndReset(message, portErrorHelp(error));
}

// What to do about a port error, as the command-line tool words it; an interface that
// has gone is named as gone, with the ones that could take its place.
QString fixtureSoftwareUpdater::portErrorHelp(int error) const
{
    const QList<serialPortDescription> ports = availableSerialPorts();
    const bool present = std::any_of(ports.cbegin(), ports.cend(),
                                     [this](const serialPortDescription &port) { return port.portName == runPortName; });
    if (present)
        return asSentence(portErrorAdvice(error, portLocation(runPortName)));

    QStringList listed;
    for (const serialPortDescription &port : interfaceMenu(ports))
        listed << interfaceMenuText(port);
    return listed.isEmpty() ? QStringLiteral("The interface is gone, and no interface is listed now.")
                            : QStringLiteral("The interface is gone. Listed now: %1.").arg(listed.join(QStringLiteral(", ")));
}

QString fixtureSoftwareUpdater::workerErrorAdvice(const QString &message)
{
    return message == QLatin1String(cannotSendBreakText) ? asSentence(breakAdvice()) : QString();
}
