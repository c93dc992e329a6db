#include "transferEnding.h"

#include "exitCodes.h"
#include "serialPortErrorText.h"
#include "updateFileReading.h"

const char *transferEnding::eventName() const
{
    switch (what) {
    case finished:
        return "finished";
    case canceled:
        return "canceled";
    case error:
        break;
    }
    return "error";
}

transferEnding transferEnding::finishedEnding()
{
    return {finished, QStringLiteral("Finished!"), exitCode::finished};
}

transferEnding transferEnding::canceledEnding()
{
    return {canceled, QStringLiteral("Canceled!"), exitCode::canceled};
}

transferEnding endingForSendError(const QString &text, const QString &filePath, bool sending)
{
    if (sending)
        return {transferEnding::error, text, exitCode::transferFailed};
    if (text == updateFileReading::openFailureText(filePath))
        return {transferEnding::error, text, exitCode::fileUnreadable};
    // The worker names the file in every text about the file, and in no other.
    if (text.endsWith(filePath))
        return {transferEnding::error, text, exitCode::fileRefused};
    return {transferEnding::error, text, exitCode::interfaceUnavailable};
}

transferEnding endingForPortError(int code, bool sending)
{
    QString message = serialPortErrorMessage(code);
    // The window has no words for such a code and silently resets; a script needs some.
    if (message.isEmpty())
        message = QStringLiteral("Serialport Error: %1").arg(code);
    return {transferEnding::error, message, sending ? exitCode::transferFailed : exitCode::interfaceUnavailable};
}
