// The line conversion on its own, on generated update files of typical lines.
//
//   bench_conversion [MB ...]      (default: 50 200) measures each size in a
//                                  process of its own and prints table rows
//   bench_conversion --measure MB  one size; prints key=value lines
//
// Peak memory is the process's VmHWM, so each size needs its own process.

#include "benchStatistics.h"
#include "benchWorkloads.h"
#include "updateFileLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int passes = 3;

struct checksum {
    quint64 value = 0;
    qint64 lines = 0;

    void add(const QByteArray &line)
    {
        ++lines;
        if (updateFileLine::isCommentLine(line))
            return;
        const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(line);
        value = value * 31 + converted.frameHoldTime + quint64(converted.packet.size());
        for (char byte : converted.packet)
            value += quint8(byte);
    }
};

// As the transfer reads: text mode, each line into one bounded buffer and
// copied out of it, the file's size looked at after every line.
checksum readAndConvert(const QString &path)
{
    checksum sum;
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    const qint64 size = file.size();
    QByteArray lineBuffer(int(updateFileLine::maxLineLength) + 2, Qt::Uninitialized);
    while (!file.atEnd()) {
        const qint64 length = file.readLine(lineBuffer.data(), lineBuffer.size());
        if (length < 0 || length > updateFileLine::maxLineLength || file.size() != size)
            return checksum();
        sum.add(QByteArray(lineBuffer.constData(), int(length)));
    }
    return sum;
}

// The conversion alone: lines cut out of large blocks, no device in between.
checksum convertOnly(const QString &path)
{
    checksum sum;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray carry;
    QByteArray block(1 << 20, Qt::Uninitialized);
    qint64 length;
    while ((length = file.read(block.data(), block.size())) > 0) {
        const char *begin = block.constData();
        const char *end = begin + length;
        if (!carry.isEmpty()) {
            const char *lineEnd = static_cast<const char *>(memchr(begin, '\n', size_t(end - begin)));
            if (!lineEnd) {
                carry.append(begin, int(length));
                continue;
            }
            carry.append(begin, int(lineEnd + 1 - begin));
            sum.add(carry);
            carry.clear();
            begin = lineEnd + 1;
        }
        while (const char *lineEnd = static_cast<const char *>(memchr(begin, '\n', size_t(end - begin)))) {
            sum.add(QByteArray::fromRawData(begin, int(lineEnd + 1 - begin)));
            begin = lineEnd + 1;
        }
        carry.append(begin, int(end - begin));
    }
    if (!carry.isEmpty())
        sum.add(carry);
    return sum;
}

qint64 countOnly(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    return updateFileLine::measureLines(file, updateFileLine::maxLineLength).lines;
}

template<typename pass>
double medianSeconds(pass run)
{
    QVector<double> seconds;
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        seconds << double(clock.nsecsElapsed()) / 1e9;
    }
    return benchStatistics::median(seconds);
}

int measureOne(int megabytes)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("large.fwb"));
    if (!directory.isValid() || !benchWorkloads::writeLargeUpdateFile(path, qint64(megabytes) * 1000000))
        return 2;
    const double bytes = double(QFile(path).size());

    qint64 lines = 0;
    checksum read, parsed;
    const double countSeconds = medianSeconds([&] { lines = countOnly(path); });
    const double readSeconds = medianSeconds([&] { read = readAndConvert(path); });
    const double parseSeconds = medianSeconds([&] { parsed = convertOnly(path); });
    if (read.value != parsed.value || read.lines != parsed.lines || read.lines != lines)
        return 3;

    QTextStream out(stdout);
    out << "count=" << bytes / 1e6 / countSeconds << '\n'
        << "read=" << bytes / 1e6 / readSeconds << '\n'
        << "parse=" << bytes / 1e6 / parseSeconds << '\n'
        << "peak=" << benchStatistics::peakResidentKb() << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.size() == 2 && arguments.first() == QLatin1String("--measure"))
        return measureOne(arguments.at(1).toInt());

    if (arguments.isEmpty())
        arguments = QStringList{QStringLiteral("50"), QStringLiteral("200")};

    QStringList peaks;
    using benchStatistics::printRow;
    for (const QString &size : arguments) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--measure"), size});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            printRow(QStringLiteral("conversion, %1 MB file").arg(size), QStringLiteral("FAILED"),
                     QStringLiteral("exit code %1").arg(child.exitCode()), QString());
            return 1;
        }
        QMap<QByteArray, double> values;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                values.insert(line.left(equals), line.mid(equals + 1).toDouble());
        }
        const QString subject = QStringLiteral("conversion, %1 MB file").arg(size);
        const auto rate = [](double megabytesPerSecond) { return QStringLiteral("%1 MB/s").arg(megabytesPerSecond, 0, 'f', 0); };
        printRow(subject, QStringLiteral("line count (first pass)"), rate(values.value("count")), QString());
        printRow(subject, QStringLiteral("read and convert, as the transfer reads"), rate(values.value("read")),
                 QStringLiteral(">= 200 MB/s"));
        printRow(subject, QStringLiteral("convert only (lines cut from memory)"), rate(values.value("parse")), QString());
        peaks << QString::number(values.value("peak") / 1024.0, 'f', 1);
    }
    printRow(QStringLiteral("conversion"),
             QStringLiteral("peak memory (VmHWM), MiB, for %1 MB files").arg(arguments.join(QStringLiteral(" / "))),
             peaks.join(QStringLiteral(" / ")), QStringLiteral("no growth with the file"));
    return 0;
}
