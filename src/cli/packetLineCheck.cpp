#include "packetLineCheck.h"

#include <QList>

#include <algorithm>

namespace {

// A DMX512 frame carries at most this many bytes after its start code.
constexpr int dmxSlots = 512;

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
    QString text = QString::fromLatin1(field.left(shown));
    if (field.size() > shown)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Texts from the file go in last, in one pass, so a "%1" in them stays as it is.
void checkFields(qint64 number, const QList<QByteArray> &fields, const updateFileLine::packetLine &converted,
                 warningList &warnings)
{
    if (!isPlainDecimal(fields.first()))
        warnings.add(number, "field", QStringLiteral("hold time %1 is not plain decimal digits; %2 ms is held")
                                          .arg(quoted(fields.first()), QString::number(converted.frameHoldTime)));
    for (int index = 1; index < fields.size(); ++index) {
        const QByteArray &field = fields.at(index);
        if (isHexByte(field))
            continue;
        const QString sent = QStringLiteral("%1").arg(quint8(converted.packet.at(index - 1)), 2, 16, QLatin1Char('0'));
        const QString what = field.isEmpty() ? QStringLiteral("is empty (two blanks, or a blank at the line end)")
                                             : QStringLiteral("is not one or two hex digits");
        const QString shown = field.isEmpty() ? QString() : quoted(field) + QLatin1Char(' ');
        warnings.add(number, "field",
                     QStringLiteral("byte %1 %2%3; %4 is sent").arg(QString::number(index), shown, what, sent));
    }
}

} // namespace

void warningList::add(qint64 line, const char *kind, const QString &message)
{
    ++total;
    if (list.size() < kept)
        list.append({line, QString::fromLatin1(kind), message});
}

void warningList::merge(const warningList &other)
{
    list += other.list;
    total += other.total;
    std::stable_sort(list.begin(), list.end(),
                     [](const fileWarning &a, const fileWarning &b) { return a.line < b.line; });
    if (list.size() > kept)
        list.resize(kept);
}

void checkPacketLine(qint64 number, const QByteArray &line, const updateFileLine::packetLine &converted,
                     warningList &warnings)
{
    const QByteArray text = line.endsWith('\n') ? line.chopped(1) : line;
    if (converted.packet.isEmpty())
        warnings.add(number, "emptyPacket",
                     QStringLiteral("packet line without bytes; a frame of the start code alone is sent"));
    if (converted.packet.size() > dmxSlots)
        warnings.add(number, "packetTooLong", QStringLiteral("packet of %1 bytes; a DMX512 frame carries at most %2")
                                                  .arg(converted.packet.size())
                                                  .arg(dmxSlots));
    // An empty line is said to be one already.
    if (!text.isEmpty())
        checkFields(number, text.split(' '), converted, warnings);
}
