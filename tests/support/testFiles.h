#ifndef TESTFILES_H
#define TESTFILES_H

#include <QtCore>

// What every test may use, on every platform: no pty, no shim.

// A path in the test program's scratch folder, which goes with it.
QString scratchPath(const QString &name);
// Update files that go with the test program.
QString writeUpdateFile(const QByteArray &contents, const QString &name = QString());

// Frames a test expects on the wire: one frame (start code included, in hex) sent so many times in a row,
// the last of them followed by a hold.
struct sentFrame
{
    QByteArray hex;
    int times = 1;
    int holdMs = 0;
};
using framePlan = QVector<sentFrame>;

Q_DECLARE_METATYPE(framePlan)

#endif // TESTFILES_H
