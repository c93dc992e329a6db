// Any bytes as an update file, sent by a real worker over the virtual adapter:
// the transfer must end exactly once, and put on the wire what the file says
// (all of it when finished, a prefix of it when canceled). Run with the
// dmxshim preloaded.
#include "dmxShim.h"
#include "frameDecoder.h"
#include "transferHarness.h"
#include "updateFileLine.h"
#include "virtualDmxAdapter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Long holds are cut short by a cancel after this long.
constexpr int cancelAfterMs = 150;

QCoreApplication *application;
virtualDmxAdapter *adapter;
QTemporaryDir *directory;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_transfer: %s\n", what);
        std::abort();
    }
}

void dropDebugLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The file read the way the worker reads it (text mode, line by line), and
// turned into frames with the plain conversion and the repetition rule.
struct expectedTransfer {
    QVector<QByteArray> frames;
    int lines = 0;
};

expectedTransfer readExpected(const QString &path)
{
    expectedTransfer expected;
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    int lastPacketLength = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++expected.lines;
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        QByteArray frame(1, '\0');
        for (int i = 1; i < fields.size(); ++i)
            frame.append(char(fields.at(i).toShort(nullptr, 16) & 0xFF));
        const int packetLength = frame.size() - 1;
        for (int send = packetLength != lastPacketLength ? 6 : 1; send > 0; --send)
            expected.frames.append(frame);
        lastPacketLength = packetLength;
    }
    return expected;
}

// The number of the first line longer than the transfer accepts, from the
// raw bytes; 0 when every line fits.
qint64 firstOverlongLine(const QByteArray &contents)
{
    const QList<QByteArray> lines = contents.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const bool hasLineEnd = i + 1 < lines.size();
        if (lines.at(i).size() + (hasLineEnd ? 1 : 0) > updateFileLine::maxLineLength)
            return i + 1;
    }
    return 0;
}

bool isPrefix(const QVector<QByteArray> &prefix, const QVector<QByteArray> &whole)
{
    return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    application = new QCoreApplication(*argc, *argv);
    qInstallMessageHandler(dropDebugLines);
    check(dmxShim::isLoaded(), "run with LD_PRELOAD=libdmxshim.so");
    adapter = new virtualDmxAdapter;
    directory = new QTemporaryDir;
    check(adapter->isValid() && directory->isValid(), "no virtual adapter");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), int(size));
    const QString path = directory->filePath(QStringLiteral("input.fwb"));
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size(),
          "cannot write the update file");
    file.close();

    dmxShim::reset();
    adapter->clearReceived();
    {
        transferRun run(adapter->portName(), path);
        run.start();
        if (!run.waitForEnd(cancelAfterMs)) {
            run.cancel();
            check(run.waitForEnd(20000), "transfer did not end after a cancel");
        }
        check(run.stop(20000), "worker thread did not stop");

        check(run.endings.size() == 1, "not exactly one ending");
        const QString ending = run.endings.constFirst();
        const qint64 overlongLine = firstOverlongLine(contents);
        if (overlongLine > 0) {
            check(ending == QStringLiteral("sendError:Update file line %1 is too long:").arg(overlongLine) + path,
                  "an over-long line was not refused");
            check(run.lengths.isEmpty() && dmxShim::eventCount(dmxShim::event::BreakOn) == 0,
                  "an over-long line was not refused before the first frame");
            return 0;
        }
        check(ending == QLatin1String("finished") || ending == QLatin1String("canceled"), "unexpected report");

        const expectedTransfer expected = readExpected(path);
        const QVector<QByteArray> sent = frameBytes(decodeFrames(dmxShim::events()));
        check(run.lengths == QVector<int>{expected.lines}, "wrong line count");
        check(run.sentMessages == 0, "sendMessage emitted");
        if (ending == QLatin1String("finished")) {
            check(sent == expected.frames, "frames differ from the file");
            check(run.progressSum() == expected.lines, "progress does not add up to the line count");
        } else {
            check(isPrefix(sent, expected.frames), "frames are not a prefix of the file's");
            check(run.progressSum() <= expected.lines, "more progress than lines");
        }
        // Without CRs, which text mode drops, the independent oracle must agree.
        if (!contents.contains('\r'))
            check(expected.frames == expectedWireFrames(contents), "file reading disagrees with the oracle");
    }
    return 0;
}
