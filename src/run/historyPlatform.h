#ifndef HISTORYPLATFORM_H
#define HISTORYPLATFORM_H

#include <QString>

class QFileDevice;

// The user's data folder for the history, which the window and the tool share.
QString historyFolder();
// Whether what was written to the file is on the disk, not only in the system's cache.
bool syncToDisk(QFileDevice &file);

#endif // HISTORYPLATFORM_H
