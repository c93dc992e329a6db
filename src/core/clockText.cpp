#include "clockText.h"

QString clockText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    const QString minutes = QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds < 3600 ? minutes : QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutes.rightJustified(5, QLatin1Char('0')));
}
