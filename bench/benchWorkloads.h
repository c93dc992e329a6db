#ifndef BENCHWORKLOADS_H
#define BENCHWORKLOADS_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include "framePlan.h"

// Update files the benchmarks send or parse. Always the same bytes, so runs
// on different days and machines compare.
namespace benchWorkloads {

struct workload {
    QString name;
    int packetLines = 0;
    int packetBytes = 0;
    int holdMs = 0;
    int commentEvery = 0; // a comment line ahead of every n-th packet line; 0 for none
};

// dense, typical and full-frame, in that order.
QVector<workload> transferWorkloads();
bool findWorkload(const QString &name, workload *found);

// The four header lines and the workload's packet and comment lines.
QByteArray contents(const workload &w);

// What the workload puts on the wire.
framePlan expectedFrames(const workload &w);
// The time those frames and their holds take on the wire, and nothing else.
double idealSeconds(const framePlan &frames);

// Writes typical-shaped lines until the file holds at least byteCount bytes,
// without ever holding more than one block of it in memory.
bool writeLargeUpdateFile(const QString &path, qint64 byteCount);

} // namespace benchWorkloads

#endif // BENCHWORKLOADS_H
