#include "benchWorkloads.h"

#include "dmx512.h"

#include <QFile>

namespace benchWorkloads {

namespace {

const char header[] = "#application\n#Vendor\n#Fixture\n#v1.04\n";

// Varied bytes, so that no shortcut for repeated values can flatter a run.
QByteArray packetBytes(int line, const workload &w)
{
    QByteArray bytes;
    for (int i = 0; i < w.packetBytes; ++i)
        bytes += char(unsigned(line * 31 + i * 7 + (i >> 3)) & 0xFF);
    return bytes;
}

void appendPacketLine(QByteArray &out, int line, const workload &w)
{
    if (w.commentEvery > 0 && line % w.commentEvery == 0)
        out += "# block " + QByteArray::number(line / w.commentEvery) + '\n';
    out += QByteArray::number(w.holdMs) + ' ' + packetBytes(line, w).toHex(' ').toUpper() + '\n';
}

} // namespace

QVector<workload> transferWorkloads()
{
    return {
        {QStringLiteral("dense"), 3000, 32, 0, 0},
        {QStringLiteral("typical"), 1500, 64, 2, 100},
        {QStringLiteral("full-frame"), 300, 512, 1, 0},
    };
}

bool findWorkload(const QString &name, workload *found)
{
    for (const workload &w : transferWorkloads()) {
        if (w.name == name) {
            *found = w;
            return true;
        }
    }
    return false;
}

QByteArray contents(const workload &w)
{
    QByteArray out(header);
    out.reserve(w.packetLines * (w.packetBytes * 3 + 16));
    for (int line = 0; line < w.packetLines; ++line)
        appendPacketLine(out, line, w);
    return out;
}

framePlan expectedFrames(const workload &w)
{
    // Every packet has the same length: only the first is repeated.
    framePlan frames;
    for (int line = 0; line < w.packetLines; ++line)
        frames.append({"00 " + packetBytes(line, w).toHex(' '), line == 0 ? 6 : 1, w.holdMs});
    return frames;
}

double idealSeconds(const framePlan &frames)
{
    qint64 idealUs = 0;
    for (const sentFrame &run : frames)
        idealUs += run.times * dmx512::frameMicroseconds((run.hex.size() + 1) / 3 - 1, 0) + 1000LL * run.holdMs;
    return double(idealUs) / 1e6;
}

bool writeLargeUpdateFile(const QString &path, qint64 byteCount)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    workload shape;
    for (const workload &w : transferWorkloads()) {
        if (w.name == QLatin1String("typical"))
            shape = w;
    }

    QByteArray block(header);
    qint64 written = 0;
    for (int line = 0; written + block.size() < byteCount; ++line) {
        appendPacketLine(block, line, shape);
        if (block.size() >= (1 << 20)) {
            if (file.write(block) != block.size())
                return false;
            written += block.size();
            block.resize(0);
        }
    }
    return file.write(block) == block.size();
}

} // namespace benchWorkloads
