#include "benchStatistics.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace benchStatistics {

namespace {

double rank(const QVector<double> &sorted, double fraction)
{
    const int index = qMax(0, int(std::ceil(fraction * sorted.size())) - 1);
    return sorted.at(qMin(index, sorted.size() - 1));
}

} // namespace

summary summarize(QVector<double> values)
{
    summary s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.count = values.size();
    s.min = values.first();
    s.median = rank(values, 0.5);
    s.p99 = rank(values, 0.99);
    s.max = values.last();
    return s;
}

double median(QVector<double> values)
{
    return summarize(std::move(values)).median;
}

QString triple(double a, double b, double c, int decimals)
{
    return QStringLiteral("%1 / %2 / %3")
        .arg(a, 0, 'f', decimals)
        .arg(b, 0, 'f', decimals)
        .arg(c, 0, 'f', decimals);
}

void printRow(const QString &subject, const QString &measure, const QString &value, const QString &target)
{
    QTextStream out(stdout);
    out << "| " << subject << " | " << measure << " | " << value << " | " << target << " |\n";
    out.flush();
}

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace benchStatistics
