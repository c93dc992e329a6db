#include "fixtureSoftwareUpdater.h"

#include <QDebug>
#include <QSerialPort>

#include "serialPortErrorText.h"

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
        reportAndReset(message, error);
}
