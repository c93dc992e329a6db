// The header reading against a plain reading of the same bytes, and within
// its bound whatever the bytes: the window reads it from any file chosen.
#include "updateFileHeader.h"

#include <QBuffer>

#include <cstdlib>

namespace {

// Four lines of at most 512 bytes each, "#" and line feed included.
constexpr qint64 headerReadBound = 4 * 512;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Byte by byte: a field is "#" and the rest of its line, at most 511 bytes of
// it; the last byte read is dropped as the line feed, whatever it is.
updateFileHeader slowReading(const QByteArray &input)
{
    updateFileHeader header;
    int position = 0;
    for (QString *field : {&header.application, &header.vendor, &header.fixture, &header.version}) {
        if (position >= input.size() || input.at(position++) != '#')
            continue;
        int end = position;
        while (end < input.size() && end - position < 511 && input.at(end++) != '\n') { }
        if (end - position > 1)
            *field = QString::fromUtf8(input.constData() + position, end - position - 1);
        position = end;
    }
    return header;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    QBuffer buffer;
    buffer.setData(input);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);

    const updateFileHeader header = readUpdateFileHeader(buffer);
    check(buffer.pos() <= headerReadBound + input.count('\r'));
    check(header.isComplete()
          == (!header.application.isEmpty() && !header.vendor.isEmpty() && !header.fixture.isEmpty()
              && !header.version.isEmpty()));

    // Text mode drops carriage returns, which the plain reading does not model.
    if (!input.contains('\r')) {
        const updateFileHeader expected = slowReading(input);
        check(header.application == expected.application);
        check(header.vendor == expected.vendor);
        check(header.fixture == expected.fixture);
        check(header.version == expected.version);
    }
    return 0;
}
