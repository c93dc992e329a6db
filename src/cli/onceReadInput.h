#ifndef ONCEREADINPUT_H
#define ONCEREADINPUT_H

#include <QString>

#include <functional>

// Input that can be read once only: standard input ("-"), a pipe, a FIFO, a device. A pipe whose writer is slow,
// a FIFO that has no writer yet or a terminal that nobody types into must not keep a stop request waiting, so
// each platform waits for it in short slices.
class onceReadInput
{
public:
    explicit onceReadInput(const QString &name) : name(name) {}
    ~onceReadInput();
    Q_DISABLE_COPY(onceReadInput)

    bool open();
    // Bytes read, 0 at the end, -1 on an error; 0 too once a stop is requested, with 'stopped' set.
    qint64 read(char *data, qint64 size, const std::function<bool()> &stopRequested);

    QString failure; // why it cannot be opened or read
    bool stopped = false;

private:
    QString name;
    qintptr handle = -1; // the platform's descriptor or handle
    bool owned = false;  // opened here, not standard input
};

#endif // ONCEREADINPUT_H
