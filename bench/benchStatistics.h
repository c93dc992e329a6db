#ifndef BENCHSTATISTICS_H
#define BENCHSTATISTICS_H

#include <QString>
#include <QVector>

namespace benchStatistics {

struct summary {
    int count = 0;
    double min = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// Nearest-rank percentiles; an empty sample gives zeros.
summary summarize(QVector<double> values);
double median(QVector<double> values);

// "a / b / c" with the given number of decimals.
QString triple(double a, double b, double c, int decimals = 0);

// One row of the benchmark table (markdown).
void printRow(const QString &subject, const QString &measure, const QString &value, const QString &target);

// Peak resident memory of this process so far, in kB (VmHWM).
qint64 peakResidentKb();

} // namespace benchStatistics

#endif // BENCHSTATISTICS_H
