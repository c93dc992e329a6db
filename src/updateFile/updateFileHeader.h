#ifndef UPDATEFILEHEADER_H
#define UPDATEFILEHEADER_H

#include <QString>

class QIODevice;

// The four comment lines that open an update file and name what it carries.
struct updateFileHeader
{
    QString application;
    QString vendor;
    QString fixture;
    QString version;

    bool isComplete() const;
    // What the window shows: the application with its first letter in
    // capitals and its version, and the vendor with the fixture.
    QString applicationText() const;
    QString fixtureText() const;
};

// Reads the header from the device's current position. Whatever the device
// holds, this reads no more than four short lines' worth of it.
updateFileHeader readUpdateFileHeader(QIODevice &device);

#endif // UPDATEFILEHEADER_H
