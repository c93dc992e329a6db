#ifndef TESTFILES_H
#define TESTFILES_H

#include "framePlan.h"

#include <QtCore>

// What every test may use, on every platform: no pty, no shim.

// A path in the test program's scratch folder, which goes with it.
QString scratchPath(const QString &name);
// Update files that go with the test program.
QString writeUpdateFile(const QByteArray &contents, const QString &name = QString());

#endif // TESTFILES_H
