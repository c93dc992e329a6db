// Reading a large update file the way the transfer does: how long the line
// count takes before the first frame can go out, how long orvana-firmware-tool's
// check of the file adds before that, and that memory stays flat whatever the
// file's size.
//
//   bench_fileReading [MB ...]      (default: 50 200) measures each size in a
//                                   process of its own and prints table rows
//   bench_fileReading --measure MB  one size; prints key=value lines
//
// Peak memory is the process's VmHWM, so each size needs its own process.

#include "benchStatistics.h"
#include "benchWorkloads.h"
#include "updateFileAnalysis.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int passes = 3;

qint64 countLines(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return updateFileReading::measureLines(file).lines;
}

// Every line read and converted as the transfer does it; the sum keeps the
// conversion from being optimised away.
qint64 readAndConvert(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray line;
    qint64 sum = 0;
    while (updateFileReading::readLine(file, line)) {
        if (!updateFileLine::isCommentLine(line))
            sum += updateFileLine::convertPacketLine(line).packet.size() + 1;
    }
    return sum;
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

    qint64 lines = 0, converted = 0, analyzed = 0;
    const double countSeconds = medianSeconds([&] { lines = countLines(path); });
    const double readSeconds = medianSeconds([&] { converted = readAndConvert(path); });
    // What send reads first: counts, warnings, wire time and SHA-256.
    const double analysisSeconds = medianSeconds([&] { analyzed = analyzeUpdateFile(path).packetLines; });
    if (lines == 0 || converted == 0 || analyzed == 0)
        return 3;

    QTextStream out(stdout);
    out << "countMs=" << countSeconds * 1000 << '\n'
        << "analysisMs=" << analysisSeconds * 1000 << '\n'
        << "read=" << bytes / 1e6 / readSeconds << '\n'
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
            printRow(QStringLiteral("file reading, %1 MB file").arg(size), QStringLiteral("FAILED"),
                     QStringLiteral("exit code %1").arg(child.exitCode()), QString());
            return 1;
        }
        QMap<QByteArray, double> values;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                values.insert(line.left(equals), line.mid(equals + 1).toDouble());
        }
        const QString subject = QStringLiteral("file reading, %1 MB file").arg(size);
        printRow(subject, QStringLiteral("line count before the first frame, ms"),
                 QString::number(values.value("countMs"), 'f', 0), QString());
        printRow(subject, QStringLiteral("read and convert as the transfer does, MB/s"),
                 QString::number(values.value("read"), 'f', 0), QString());
        printRow(subject, QStringLiteral("orvana-firmware-tool's check before the port opens, ms"),
                 QString::number(values.value("analysisMs"), 'f', 0), QString());
        peaks << QString::number(values.value("peak") / 1024.0, 'f', 1);
    }
    printRow(QStringLiteral("file reading"),
             QStringLiteral("peak memory (VmHWM), MiB, for %1 MB files").arg(arguments.join(QStringLiteral(" / "))),
             peaks.join(QStringLiteral(" / ")), QStringLiteral("no growth with the file"));
    return 0;
}
