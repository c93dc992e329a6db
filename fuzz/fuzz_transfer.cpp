// Any bytes as an update file, sent by a real worker over the virtual DMX
// interface: exactly one ending, and on the wire the frames the line
// conversion makes of the file, or a prefix of them when a long hold had to
// be canceled. Run with the dmxshim preloaded.
#include "testSupport.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

virtualDmxLine *line;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_transfer: %s\n", what);
        std::abort();
    }
}

// The frames of a whole transfer, from the product's own conversion and repetition rule.
QStringList framesOf(const QByteArray &contents)
{
    QBuffer file;
    file.setData(contents);
    file.open(QIODevice::ReadOnly);
    QStringList frames;
    QByteArray text;
    int lastLength = 0;
    while (updateFileReading::readLine(file, text)) {
        if (updateFileLine::isCommentLine(text))
            continue;
        const QByteArray packet = updateFileLine::convertPacketLine(text).packet;
        const QString frame = QString::fromLatin1((QByteArray(1, '\0') + packet).toHex(' '));
        for (int send = updateFileLine::framesForPacket(packet.size(), lastLength); send > 0; --send)
            frames << frame;
        lastLength = int(packet.size());
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    qSetMessagePattern(QStringLiteral("%{if-debug}%{endif}%{if-warning}%{message}%{endif}"));
    line = new virtualDmxLine;
    check(!line->portPath().isEmpty(), "no pty");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), int(size));
    const QString file = writeUpdateFile(contents, QStringLiteral("input.fwb"));
    shimLog::clear();
    transferRun transfer(line->portPath(), file);
    transfer.start();
    if (!transfer.waitForEnd(150)) {
        transfer.cancel();
        check(transfer.waitForEnd(20000), "no end after a cancel");
    }
    check(transfer.endings.size() == 1, "not exactly one ending");

    QBuffer counted;
    counted.setData(contents);
    counted.open(QIODevice::ReadOnly);
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(counted);
    const QStringList sent = shimLog::last().hex();
    if (measure.firstOverlongLine > 0) // beyond libFuzzer's usual input sizes; the tests refuse such files
        return 0;
    const QStringList expected = framesOf(contents);
    check(transfer.length == measure.lines, "wrong line count");
    if (transfer.endings.first() == QLatin1String("finished"))
        check(sent == expected && transfer.progress == measure.lines, "finished without the whole file");
    else
        check(transfer.endings.first() == QLatin1String("canceled") && sent == expected.mid(0, sent.size()),
              "canceled with frames that are not the file's");
    return 0;
}
