#include "updateFileAnalysis.h"

#include "dmx512.h"
#include "printableText.h"
#include "updateFileLine.h"
#include "updateFileReading.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <limits>

namespace {

// Enough for a close estimate of the time left, whatever the file's length.
constexpr qint64 checkpoints = 4096;
// Longer holds are more likely a slip of the keyboard than a fixture's need.
constexpr quint32 longestUsualHoldMs = 10 * 60 * 1000;
const char *const headerFieldNames[] = {"application", "vendor", "fixture", "version"};

// What the start of a file says about all of it. A UTF-16 or binary file gives a riddle of a warning on
// nearly every line; one warning says what it is instead.
enum class textKind { text, byteOrderMark, utf16, binary };

textKind kindOfText(const QByteArray &start)
{
    if (start.startsWith("\xEF\xBB\xBF"))
        return textKind::byteOrderMark;
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF"))
        return textKind::utf16;
    qint64 nuls[2] = {0, 0}, controls = 0;
    for (int index = 0; index < start.size(); ++index) {
        const uchar c = uchar(start.at(index));
        if (c == 0)
            ++nuls[index % 2];
        else if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f)
            ++controls;
    }
    // ASCII written as UTF-16 has a NUL in every other byte.
    const qint64 more = qMax(nuls[0], nuls[1]), fewer = qMin(nuls[0], nuls[1]);
    if (more * 4 >= start.size() && fewer * 8 <= more && more > 0)
        return textKind::utf16;
    return more > 0 || controls * 4 > start.size() ? textKind::binary : textKind::text;
}

bool isDigits(const QByteArray &field)
{
    return !field.isEmpty() && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isHexByte(const QByteArray &field)
{
    return (field.size() == 1 || field.size() == 2) && std::all_of(field.begin(), field.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

bool fitsHoldTime(const QByteArray &digits)
{
    bool fits = false;
    digits.toUInt(&fits, 10);
    return fits;
}

QString quoted(const QByteArray &field)
{
    const int shown = 16;
    return QLatin1Char('"') + printableBytes(field.left(shown)) + (field.size() > shown ? "...\"" : "\"");
}

QString holdText(quint32 milliseconds)
{
    const qint64 minutes = (qint64(milliseconds) + 30000) / 60000, hours = minutes / 60;
    if (hours < 2)
        return QStringLiteral("%1 minutes").arg(minutes);
    return hours < 48 ? QStringLiteral("%1 hours").arg(hours) : QStringLiteral("%1 days").arg(hours / 24);
}

void checkHoldTime(qint64 number, const QByteArray &field, quint32 held, updateFileAnalysis &warnings)
{
    if (!isDigits(field))
        warnings.warn(number, "field", QStringLiteral("hold time %1 is not plain decimal digits; %2 ms is held")
                                          .arg(quoted(field), QString::number(held)));
    else if (!fitsHoldTime(field))
        warnings.warn(number, "field", QStringLiteral("hold time %1 is out of range (at most %2 ms); %3 ms is held")
                                          .arg(quoted(field)).arg(std::numeric_limits<quint32>::max()).arg(held));
    else if (held > longestUsualHoldMs)
        warnings.warn(number, "longHold", QStringLiteral("line %1 holds for %2").arg(number).arg(holdText(held)));
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
    checkHoldTime(number, fields.first(), converted.frameHoldTime, warnings);
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

// One warning for a file that is not 8-bit text, or that starts with a byte order mark; what it puts in place of
// the warnings of the lines it garbles.
bool warnOfKind(textKind kind, updateFileAnalysis &analysis)
{
    if (kind == textKind::byteOrderMark)
        analysis.warn(1, "byteOrderMark", QStringLiteral("a UTF-8 byte order mark: line 1 goes out as a packet line, "
                                                         "and the header is not read"));
    else if (kind == textKind::utf16)
        analysis.warn(0, "utf16", QStringLiteral("UTF-16 text: not an update file, which is 8-bit text"));
    else if (kind == textKind::binary)
        analysis.warn(0, "binary", QStringLiteral("binary data: not an update file"));
    return kind != textKind::text;
}

// Reads the lines as the transfer does (bounded, carriage returns dropped),
// and the bytes for their hash and for the carriage returns that the
// transfer drops, running together whatever they separated.
void analyzeLines(QFile &file, textKind kind, const updateFileAnalysisOptions &options, updateFileAnalysis &analysis)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    analysis.checkpointStep = analysis.lines / checkpoints + 1;
    QByteArray line; // one allocation, not one a line
    qint64 number = 0, previousLength = 0;
    bool ended = true; // the last line read had its line end
    const bool lineWarnings = kind == textKind::text || kind == textKind::byteOrderMark;
    while (updateFileReading::readRawLine(file, line)) {
        if (number % 1024 == 0 && options.progressed)
            options.progressed(file.pos(), file.size());
        if (number % 1024 == 0 && options.stopRequested && options.stopRequested()) {
            analysis.stopped = true;
            return;
        }
        hash.addData(line);
        ended = line.endsWith('\n');
        const bool warned = lineWarnings && (kind != textKind::byteOrderMark || number > 0);
        if (warned && line.count('\r') > (line.endsWith("\r\n") ? 1 : 0))
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
        if (warned)
            checkPacketLine(number, line, converted, analysis);
    }
    analysis.sha256 = hash.result().toHex();
    // A download cut short ends inside a line; a whole file ends with a line end.
    if (lineWarnings && !ended)
        analysis.warn(number, "cutShort", QStringLiteral("the file ends inside line %1: it may be cut short").arg(number));
    if (lineWarnings && analysis.packetLines == 0)
        analysis.warn(0, "noPackets", QStringLiteral("no packet line: nothing would be sent"));
    std::stable_sort(analysis.warnings.begin(), analysis.warnings.end(),
                     [](const fileWarning &a, const fileWarning &b) { return a.line < b.line; });
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
        return QStringLiteral("%1 warning%2, and --strict refuses the file").arg(warningCount).arg(warningCount == 1 ? "" : "s");
    return refused;
}

QString updateFileAnalysis::refusalToSend(bool strict) const
{
    if (refused.isEmpty() && packetLines == 0)
        return QStringLiteral("Update file has no packet line, nothing to send:") + file;
    return refusal(strict);
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

updateFileAnalysis unopenedUpdateFile(const QString &name, const QString &reason)
{
    updateFileAnalysis analysis;
    analysis.file = analysis.path = name;
    analysis.openFailure = updateFileReading::openFailureText(name) + QStringLiteral("\n") + name + QStringLiteral(": ") + reason;
    return analysis;
}

updateFileAnalysis analyzeUpdateFile(const QString &file, const updateFileAnalysisOptions &options)
{
    const QString name = options.shownName.isEmpty() ? file : options.shownName;
    const QFileInfo info(file);
    QFile input(file);
    // As the transfer opens it.
    if (!info.exists())
        return unopenedUpdateFile(name, QStringLiteral("no such file"));
    if (info.isDir())
        return unopenedUpdateFile(name, QStringLiteral("it is a folder"));
    if (!info.isFile())
        return unopenedUpdateFile(name, QStringLiteral("not a regular file"));
    if (!input.open(QIODevice::ReadOnly))
        return unopenedUpdateFile(name, input.errorString());
    updateFileAnalysis analysis;
    analysis.file = name;
    analysis.path = file;
    const updateFileReading::lineMeasure measure = updateFileReading::measureLines(input);
    analysis.lines = measure.lines;
    analysis.refused = updateFileReading::refusalText(measure, name);
    input.seek(0);
    const textKind kind = kindOfText(input.read(4096));
    input.seek(0);
    analysis.header = readUpdateFileHeader(input);
    if (!warnOfKind(kind, analysis))
        checkHeader(analysis);
    // Refused while counting: the rest may be a gigabyte without a line end.
    if (analysis.refused.isEmpty()) {
        input.seek(0);
        analyzeLines(input, kind, options, analysis);
    }
    return analysis;
}
