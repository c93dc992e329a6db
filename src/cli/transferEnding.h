#ifndef TRANSFERENDING_H
#define TRANSFERENDING_H

#include <QString>

// How the update on one port ended, in the window's words, and the exit code it earns.
struct transferEnding
{
    enum kind { finished, canceled, error };

    kind what = finished;
    QString message;
    int exitCode = 0;

    const char *eventName() const;
    static transferEnding finishedEnding();
    static transferEnding canceledEnding();
};

// 'sending': the worker had set up the port and counted the file, so the
// frames had started.
transferEnding endingForSendError(const QString &text, const QString &filePath, bool sending);
transferEnding endingForPortError(int code, bool sending);

#endif // TRANSFERENDING_H
