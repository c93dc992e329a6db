#include "updateFileHeader.h"

#include <QIODevice>

namespace {

const int headerLineBufferSize = 512;

// One header field: "#" and the rest of the line. Anything else consumes a
// single byte and leaves the field empty, so a missing "#" throws the next
// attempts into the middle of that line.
QString readHeaderField(QIODevice &device)
{
    char firstByte = 0;
    if (!device.getChar(&firstByte) || firstByte != '#')
        return QString();

    char line[headerLineBufferSize];
    const qint64 bytesRead = device.readLine(line, sizeof line);
    if (bytesRead <= 1)
        return QString();
    // The last byte is the line feed, or the byte a too long line is cut at.
    return QString::fromUtf8(line, int(bytesRead - 1));
}

} // namespace

bool updateFileHeader::isComplete() const
{
    return !application.isEmpty() && !vendor.isEmpty() && !fixture.isEmpty() && !version.isEmpty();
}

QString updateFileHeader::applicationText() const
{
    QString text = application;
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text + QLatin1Char(' ') + version;
}

QString updateFileHeader::fixtureText() const
{
    return vendor + QLatin1Char(' ') + fixture;
}

updateFileHeader readUpdateFileHeader(QIODevice &device)
{
    // As text, whoever opened the device: a header written on Windows ends
    // its lines in CR LF, and the CR is no part of the names.
    const bool textMode = device.isTextModeEnabled();
    device.setTextModeEnabled(true);
    updateFileHeader header;
    for (QString *field : {&header.application, &header.vendor, &header.fixture, &header.version})
        *field = readHeaderField(device);
    device.setTextModeEnabled(textMode);
    return header;
}
