#ifndef CLOCKTEXT_H
#define CLOCKTEXT_H

#include <QString>
#include <QtGlobal>

// A duration as a clock shows it: 0:07, 12:45, 1:02:03.
QString clockText(qint64 milliseconds);

#endif // CLOCKTEXT_H
