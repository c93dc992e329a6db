#ifndef RUNRECORD_H
#define RUNRECORD_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "serialInterfaces.h"
#include "updateFileHeader.h"

// The interface an update goes to, as the Interfaces menu or `ports` knows it.
struct runInterface
{
    QString portName; // as chosen or named
    QString serialNumber, manufacturer; // empty where the port reports none
    QString device; // what the worker opens, where it is not the port name (a path the tool made of it)
    QString identity; // the device itself, as it was when the run started (portIdentity)

    // The port among those listed, found by its name, its path or a link to it.
    static runInterface of(const QString &portName, const QList<serialPortDescription> &ports);
    // The same adapter: by its serial number and maker where it reports one, else by the device, whatever name
    // or link reached it.
    bool sameAs(const runInterface &other) const;
    QString deviceIdentity() const;
    // "Example Corp A1 (ttyUSB0)", or the port's name alone.
    QString text() const;
};

enum class runEnding { running, finished, canceled, failed, interrupted };

// One update run, as followed live or as read back from the history.
struct runRecord
{
    QString runId; // a UUID without braces
    QString program;
    qint64 pid = 0;
    QDateTime started, ended; // UTC

    runInterface interface;

    QString path; // absolute
    QString name; // as shown
    qint64 size = 0;
    QByteArray sha256; // hex
    updateFileHeader header;

    int lines = 0; // the file's
    int linesOut = 0; // whose frames have all gone out; for an interrupted run, at least so many
    int linesPassed = 0; // with their holds over
    qint64 frames = 0; // on the wire

    runEnding ending = runEnding::running;
    int failureKind = -1; // serialPortThread::failureKind, for a failed run
    int portError = 0; // QSerialPort::SerialPortError; 0: none
    QString message; // the first report of a failed run, as the window shows it

    bool noticed = false; // the window has told the operator of it

    // An update that did not finish and may have left part of itself in the fixture.
    bool leftPartOfItself() const;
};

// The words for an update's ending, its file and its interface, each made here once for the window and the tool.
namespace runWords {

// What the fixture holds after an update that did not finish; empty when nothing went out, or it finished.
QString partialUpdate(const runRecord &run);
// What to do about the failure: the group to join, another program holding the interface, the interface gone
// and the ones listed now, an adapter without a break. Empty where there is nothing to add. In lower case, as
// the tool prints it under the error.
QString failureAdvice(const runRecord &run);
// Advice worded for a line of its own, as a sentence of a box: a capital first, a full stop last.
QString sentence(const QString &advice);
// "canceled", "failed: Serialport Error: ...", "interrupted: the program ended before the update did".
QString ending(const runRecord &run);
// The file: "Vendor Fixture, Application v1.04 (spot.fwb)", or its name where it has no header.
QString file(const runRecord &run);
// Which fixture and version, through which interface, when, and how it ended.
QString summary(const runRecord &run);
const char *endingName(runEnding ending);
runEnding endingNamed(const QString &name);

} // namespace runWords

#endif // RUNRECORD_H
