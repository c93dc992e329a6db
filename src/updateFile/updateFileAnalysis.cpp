#include "updateFileAnalysis.h"

#include "dmx512.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// Enough for a close estimate of the time left, whatever the file's length.
constexpr qint64 checkpoints = 4096;
const char *const headerFieldNames[] = {"application", "vendor", "fixture", "version"};

bool isPlainDecimal(const QByteArray &field)
{
    bool fits = false;
    field.toUInt(&fits, 10);
    return fits && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isHexByte(const QByteArray &field)
{
    return (field.size() == 1 || field.size() == 2) && std::all_of(field.begin(), field.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

QString quoted(const QByteArray &field)
{
    const int shown = 16;
    return QLatin1Char('"') + QString::fromLatin1(field.left(shown)) + (field.size() > shown ? "...\"" : "\"");
}

// What in a packet line is not written as the format says, and what the
// transfer sends instead. Texts from the file go in last, so a "%1" in them stays.
void checkPacketLine(qint64 number, const QByteArray &line, const updateFileLine::packetLine &converted,
                     updateFileAnalysis &warnings)
{
    const QByteArray text = line.endsWith('\n') ? line.chopped(1) : line;
    if (converted.packet.isEmpty())
        warnings.warn(number, "emptyPacket", QStringLiteral("packet line without bytes; a frame of the start code alone is sent"));
    if (converted.packet.size() > dmx512::maxSlots)
        warnings.warn(number, "packetTooLong", QStringLiteral("packet of %1 bytes; a DMX512 frame carries at most %2")
                                                  .arg(converted.packet.size()).arg(dmx512::maxSlots));
    if (text.isEmpty()) // said to be empty already
        return;
    const QList<QByteArray> fields = text.split(' ');
    if (!isPlainDecimal(fields.first()))
        warnings.warn(number, "field", QStringLiteral("hold time %1 is not plain decimal digits; %2 ms is held")
                                          .arg(quoted(fields.first()), QString::number(converted.frameHoldTime)));
    for (int index = 1; index < fields.size(); ++index) {
        const QByteArray &field = fields.at(index);
        if (isHexByte(field))
            continue;
        const QString sent = QStringLiteral("%1").arg(quint8(converted.packet.at(index - 1)), 2, 16, QLatin1Char('0'));
        const QString what = field.isEmpty() ? QStringLiteral("is empty (two blanks, or a blank at the line end)")
                                             : quoted(field) + QStringLiteral(" is not one or two hex digits");
        warnings.warn(number, "field", QStringLiteral("byte %1 %2; %3 is sent").arg(QString::number(index), what, sent));
    }
}

void checkHeader(updateFileAnalysis &analysis)
{
    const updateFileHeader &h = analysis.header;
    const QString fields[] = {h.application, h.vendor, h.fixture, h.version};
    const int missing = int(std::find(std::begin(fields), std::end(fields), QString()) - std::begin(fields));
    if (missing < 4)
        analysis.warn(missing + 1, "header", QStringLiteral("incomplete header: line %1 does not name the %2 as \"#%2\"")
                                                 .arg(missing + 1).arg(QLatin1String(headerFieldNames[missing])));
}

// Reads the lines as the transfer does (bounded, carriage returns dropped),
// and the bytes for their hash and for the carriage returns that the
// transfer drops, running together whatever they separated.
void analyzeLines(QFile &file, updateFileAnalysis &analysis)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    analysis.checkpointStep = analysis.lines / checkpoints + 1;
    QByteArray line; // one allocation, not one a line
    qint64 number = 0, previousLength = 0;
    while (updateFileReading::readRawLine(file, line)) {
        hash.addData(line);
        if (line.count('\r') > (line.endsWith("\r\n") ? 1 : 0))
            analysis.warn(number + 1, "carriageReturn", QStringLiteral("carriage return without a line feed after it; it is dropped"));
        updateFileReading::dropCarriageReturns(line);
        if (number++ % analysis.checkpointStep == 0)
            analysis.wireCheckpoints.append(analysis.wireTimeUs);
        if (updateFileLine::isCommentLine(line)) {
            ++analysis.commentLines;
            continue;
        }
        ++analysis.packetLines;
        const updateFileLine::packetLine converted = updateFileLine::convertPacketLine(line);
        const qint64 length = converted.packet.size();
        const int sends = updateFileLine::framesForPacket(length, previousLength);
        previousLength = length;
        analysis.frames += sends;
        analysis.packetBytes += sends * length;
        analysis.holdTimeMs += converted.frameHoldTime;
        // Only the last of the repeated frames is followed by the hold.
        analysis.wireTimeUs += sends * dmx512::frameMicroseconds(length, 0) + qint64(converted.frameHoldTime) * 1000;
        checkPacketLine(number, line, converted, analysis);
    }
    analysis.sha256 = hash.result().toHex();
    if (analysis.packetLines == 0)
        analysis.warn(0, "noPackets", QStringLiteral("no packet line: nothing would be sent"));
    std::stable_sort(analysis.warnings.begin(), analysis.warnings.end(),
                     [](const fileWarning &a, const fileWarning &b) { return a.line < b.line; });
}

// Read once, into a copy that can be counted and then sent. Why the input
// cannot be read; empty when it could, or when it is refused as too large.
QString copyInput(updateFileAnalysis &analysis)
{
    QFile input(analysis.file);
    auto copy = std::make_shared<QTemporaryFile>();
    if (!(analysis.file == QLatin1String("-") ? input.open(0, QIODevice::ReadOnly) : input.open(QIODevice::ReadOnly)))
        return input.errorString();
    if (!copy->open())
        return copy->errorString();
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    qint64 length;
    while ((length = input.read(chunk.data(), chunk.size())) > 0 && copy->size() + length <= maxCopiedInput)
        copy->write(chunk.constData(), length);
    if (length > 0)
        analysis.refused = QStringLiteral("Update file too large to be read from a pipe (over 64 MiB):") + analysis.file;
    else if (length < 0 || !copy->flush())
        return length < 0 ? input.errorString() : copy->errorString();
    analysis.copy = copy;
    analysis.path = copy->fileName();
    return QString();
}

} // namespace

void updateFileAnalysis::warn(qint64 line, const char *kind, const QString &message)
{
    if (++warningCount <= 1000)
        warnings.append({line, QString::fromLatin1(kind), message});
}

QString updateFileAnalysis::refusal(bool strict) const
{
    if (refused.isEmpty() && strict && warningCount > 0)
        return QStringLiteral("%1 warnings, and --strict refuses the file").arg(warningCount);
    return refused;
}

qint64 updateFileAnalysis::wireTimeUsBefore(qint64 line) const
{
    return line >= lines ? wireTimeUs : wireCheckpoints.value(int(line / checkpointStep), wireTimeUs);
}

qint64 updateFileAnalysis::remainingMs(qint64 linesDone, qint64 elapsedMs) const
{
    // Opening the port and starting the thread would weigh too much in the
    // pace of the first few frames: the ideal time is the better guess then.
    const qint64 doneUs = wireTimeUsBefore(linesDone);
    const qint64 leftUs = qMax<qint64>(0, wireTimeUs - doneUs);
    return doneUs < 1000000 ? leftUs / 1000 : qint64(double(leftUs) * double(elapsedMs) / double(doneUs));
}

updateFileAnalysis analyzeUpdateFile(const QString &file)
{
    updateFileAnalysis analysis;
    analysis.file = analysis.path = file;
    const QFileInfo info(file);
    QString reason;
    if (file == QLatin1String("-") || (info.exists() && !info.isFile() && !info.isDir()))
        reason = copyInput(analysis);
    QFile input(analysis.path);
    // As the transfer opens it.
    if (reason.isEmpty() && (!QFileInfo(analysis.path).isFile() || !input.open(QIODevice::ReadOnly)))
        reason = !info.exists() && !analysis.copy ? QStringLiteral("no such file")
            : info.isDir() ? QStringLiteral("it is a folder") : input.errorString();
    if (!reason.isEmpty())
        analysis.openFailure = updateFileReading::openFailureText(file) + QStringLiteral("\n") + file + QStringLiteral(": ") + reason;
    if (!reason.isEmpty() || !analysis.refused.isEmpty())
        return analysis;
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(input);
    analysis.lines = measure.lines;
    analysis.refused = updateFileReading::refusalText(measure, file);
    input.seek(0);
    analysis.header = readUpdateFileHeader(input);
    checkHeader(analysis);
    // Refused while counting: the rest may be a gigabyte without a line end.
    if (analysis.refused.isEmpty()) {
        input.seek(0);
        analyzeLines(input, analysis);
    }
    return analysis;
}
