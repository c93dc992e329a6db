#include "updateFileAnalysis.h"

#include "updateFileReading.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

const char *const headerFieldNames[] = {"application", "vendor", "fixture", "version"};

void warnOfCarriageReturn(updateFileAnalysis &analysis, qint64 line)
{
    analysis.warnings.add(line, "carriageReturn",
                          QStringLiteral("carriage return without a line feed after it; it is dropped"));
}

// The carriage returns in a chunk that no line feed follows; the transfer
// drops them, and whatever they separated runs together on the wire.
// 'line' and 'returnLine' carry over from chunk to chunk.
void findLoneCarriageReturns(const char *begin, const char *end, qint64 &line, qint64 &returnLine,
                             updateFileAnalysis &analysis)
{
    const char *at = begin;
    while (at < end) {
        if (returnLine > 0 && *at != '\n')
            warnOfCarriageReturn(analysis, returnLine);
        returnLine = 0;
        const char *nextReturn = static_cast<const char *>(std::memchr(at, '\r', size_t(end - at)));
        const char *stop = nextReturn ? nextReturn : end;
        line += std::count(at, stop, '\n');
        if (!nextReturn)
            return;
        returnLine = line;
        at = nextReturn + 1;
    }
}

void scanBytes(QFile &file, updateFileAnalysis &analysis)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    qint64 line = 1, returnLine = 0; // 0: the byte before was no carriage return
    qint64 length;
    while ((length = file.read(chunk.data(), chunk.size())) > 0) {
        hash.addData(QByteArray::fromRawData(chunk.constData(), int(length)));
        findLoneCarriageReturns(chunk.constData(), chunk.constData() + length, line, returnLine, analysis);
    }
    if (returnLine > 0)
        warnOfCarriageReturn(analysis, returnLine);
    analysis.sha256 = hash.result().toHex();
}

void checkHeader(updateFileAnalysis &analysis, warningList &warnings)
{
    const updateFileHeader &header = analysis.header;
    const QString *fields[] = {&header.application, &header.vendor, &header.fixture, &header.version};
    for (int index = 0; index < 4; ++index) {
        if (fields[index]->isEmpty()) {
            const QString message = QStringLiteral("incomplete header: line %1 does not name the %2 as \"#%2\"");
            warnings.add(index + 1, "header", message.arg(index + 1).arg(QLatin1String(headerFieldNames[index])));
            return;
        }
    }
}

void analyzeLines(QFile &file, updateFileAnalysis &analysis, warningList &warnings)
{
    QByteArray line;
    qint64 number = 0;
    while (updateFileReading::readLine(file, line)) {
        ++number;
        if (updateFileLine::isCommentLine(line)) {
            ++analysis.commentLines;
            continue;
        }
        ++analysis.packetLines;
        const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(line);
        analysis.tally.add(converted);
        checkPacketLine(number, line, converted, warnings);
    }
}

} // namespace

updateFileAnalysis analyzeUpdateFile(const QString &path)
{
    updateFileAnalysis analysis;
    analysis.file = path;
    QFile file(path);
    // As the transfer opens it; a directory does not open.
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        analysis.openFailure = updateFileReading::openFailureText(path);
        return analysis;
    }
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(file);
    analysis.lines = measure.lines;
    analysis.refused = updateFileReading::refusalText(measure, path);
    file.seek(0);
    analysis.header = readUpdateFileHeader(file);
    warningList lineWarnings;
    checkHeader(analysis, lineWarnings);
    // Refused while counting: the rest may be a gigabyte without a line end.
    if (analysis.refused.isEmpty()) {
        file.seek(0);
        scanBytes(file, analysis);
        file.seek(0);
        analyzeLines(file, analysis, lineWarnings);
    }
    analysis.warnings.merge(lineWarnings);
    return analysis;
}
