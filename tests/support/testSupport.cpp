#include "testSupport.h"

#include "serialPortThread.h"

#include <QSerialPort>
#include <QtTest>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString logPath()
{
    static const QString path = [] {
        qputenv("DMXSHIM_LOG", QFile::encodeName(scratchPath("dmxshim.log")));
        return scratchPath("dmxshim.log");
    }();
    return path;
}

// The kernel's termios2, which carries a speed outside the fixed table.
struct kernelTermios2
{
    tcflag_t iflag, oflag, cflag, lflag;
    cc_t line, cc[19];
    speed_t ispeed, ospeed;
};

QString lineSettings(int fd)
{
    kernelTermios2 t{};
    if (ioctl(fd, _IOR('T', 0x2A, kernelTermios2), &t) != 0) // TCGETS2; on a master it reads the slave's
        return QStringLiteral("unknown");
    const int dataBits = (t.cflag & CSIZE) == CS8 ? 8 : (t.cflag & CSIZE) == CS7 ? 7 : (t.cflag & CSIZE) == CS6 ? 6 : 5;
    const char parity = !(t.cflag & PARENB) ? 'N' : (t.cflag & PARODD) ? 'O' : 'E';
    return QStringLiteral("%1 bit/s %2%3%4").arg(t.ospeed).arg(dataBits).arg(parity).arg(t.cflag & CSTOPB ? 2 : 1)
        + (t.cflag & CRTSCTS ? " rts/cts" : "") + (t.iflag & (IXON | IXOFF) ? " xon/xoff" : "");
}

// One entry per frame: its bytes in hex and the hold after it.
QVector<QPair<QString, int>> expand(const framePlan &expected)
{
    QVector<QPair<QString, int>> frames;
    for (const sentFrame &run : expected) {
        for (int i = 0; i < run.times; ++i)
            frames.append({QString::fromLatin1(run.hex.toLower()), i == run.times - 1 ? run.holdMs : 0});
    }
    return frames;
}

} // namespace

virtualDmxLine::virtualDmxLine()
{
    char name[64] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
        path = QString::fromLatin1(name);
        reader = std::thread([this] { drain(); });
    }
}

virtualDmxLine::~virtualDmxLine()
{
    stopping = true;
    if (reader.joinable())
        reader.join();
    ::close(master);
    ::close(slave);
}

void virtualDmxLine::drain()
{
    char chunk[4096];
    while (!stopping) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0)
            continue;
        QMutexLocker lock(&mutex);
        const ssize_t count = read(master, chunk, sizeof chunk);
        if (count <= 0)
            continue;
        if (bytes.isEmpty())
            settings = lineSettings(master);
        bytes.append(chunk, int(count));
    }
}

void virtualDmxLine::setColumns(int columns)
{
    const winsize size{24, ushort(columns), 0, 0};
    ioctl(master, TIOCSWINSZ, &size);
}

QByteArray virtualDmxLine::received() const
{
    QMutexLocker lock(&mutex);
    return bytes;
}

QString virtualDmxLine::settingsAtFirstByte() const
{
    QMutexLocker lock(&mutex);
    return settings;
}

QStringList portSession::hex() const
{
    QStringList list;
    for (const wireFrame &frame : frames)
        list << frame.bytes.toHex(' ');
    return list;
}

void shimLog::clear()
{
    QFile(logPath()).resize(0);
}

QVector<portSession> shimLog::sessions()
{
    struct cursor { int session; qint64 lastEndNs; };
    QVector<portSession> sessions;
    QHash<QByteArray, cursor> open; // by process and descriptor
    QFile file(logPath());
    file.open(QIODevice::ReadOnly);
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> field = line.split(' ');
        if (field.size() < 6)
            continue;
        const QByteArray what = field.at(0), key = field.at(1) + ' ' + field.at(2);
        const qint64 startNs = field.at(3).toLongLong(), endNs = field.at(4).toLongLong();
        if (what == "open") {
            sessions.append(portSession{QString::fromUtf8(field.at(5)), false, false, {}});
            open.insert(key, {int(sessions.size()) - 1, endNs});
            continue;
        }
        auto at = open.find(key);
        if (at == open.end())
            continue;
        portSession &session = sessions[at->session];
        if (what == "cut") { // no call of the program's own
            session.bytesCut += field.at(5).toInt();
            ++session.framesCut;
            continue;
        }
        const qint64 sinceLastUs = (startNs - at->lastEndNs) / 1000;
        at->lastEndNs = endNs;
        wireFrame *frame = session.frames.isEmpty() ? nullptr : &session.frames.last();
        if ((what == "break" || what == "close") && frame && frame->gapUs < 0 && !frame->bytes.isEmpty())
            frame->gapUs = sinceLastUs;
        if (what == "dtr") {
            session.dtrRaised = field.at(5) == "1";
        } else if (what == "break") {
            session.firstBreakNs = session.frames.isEmpty() ? startNs : session.firstBreakNs;
            session.frames.append(wireFrame());
        } else if (what == "mark" && frame) {
            frame->breakUs = sinceLastUs;
        } else if (what == "write" && frame) {
            if (frame->bytes.isEmpty())
                frame->markUs = sinceLastUs;
            frame->bytes += QByteArray::fromHex(field.at(5));
        } else if (what == "close") {
            session.closed = true;
            session.closeNs = startNs;
            open.erase(at);
        }
    }
    return sessions;
}

portSession shimLog::last()
{
    const QVector<portSession> all = sessions();
    return all.isEmpty() ? portSession() : all.last();
}

QStringList expandFrames(const framePlan &expected)
{
    QStringList hex;
    for (const auto &frame : expand(expected))
        hex.append(frame.first);
    return hex;
}

QString timingFaults(const portSession &session, const framePlan &expected)
{
    const QVector<QPair<QString, int>> plan = expand(expected);
    QStringList faults;
    for (int i = 0; i < session.frames.size() && i < plan.size(); ++i) {
        const wireFrame &frame = session.frames.at(i);
        // The port may close once the last frame's bytes are out, before its hold ends.
        const bool closing = i == session.frames.size() - 1 && session.closed;
        const qint64 minimumGapUs = 44 * frame.bytes.size() + (closing ? 0 : 1000LL * plan.at(i).second);
        // A frame whose write failed has no mark.
        if (frame.breakUs < 500 || (frame.markUs < 100 && !frame.bytes.isEmpty()) || (frame.gapUs >= 0 && frame.gapUs < minimumGapUs))
            faults.append(QStringLiteral("frame %1: break %2 us, mark %3 us, gap %4 us (at least %5)")
                              .arg(i).arg(frame.breakUs).arg(frame.markUs).arg(frame.gapUs).arg(minimumGapUs));
    }
    return faults.join(QLatin1Char('\n'));
}

QStringList describe(const transferEndings &endings)
{
    const QMetaEnum codes = QMetaEnum::fromType<QSerialPort::SerialPortError>();
    const QMetaEnum kinds = QMetaEnum::fromType<serialPortThread::failureKind>();
    QStringList told;
    for (const transferEnding &ending : endings) {
        switch (ending.what) {
        case transferEnding::finished: told << QStringLiteral("finished"); break;
        case transferEnding::canceled: told << QStringLiteral("canceled"); break;
        case transferEnding::sendError: told << QStringLiteral("sendError(%1)").arg(ending.text); break;
        case transferEnding::portError: told << QStringLiteral("portStatusChanged(%1)").arg(codes.valueToKey(ending.code)); break;
        case transferEnding::failed: told << QStringLiteral("transferFailed(%1)").arg(kinds.valueToKey(ending.code)); break;
        }
    }
    return told;
}

namespace {

updateFileAnalysis fileToSend(const QString &path)
{
    logPath();
    updateFileAnalysis file;
    file.file = file.path = path;
    return file;
}

} // namespace

transferRun::transferRun(const QString &portPath, const QString &filePath)
    : run(runInterface{portPath, {}, {}, {}, {}}, fileToSend(filePath), nullptr), worker(run.createWorker())
{
    // The worker goes, and closes its port, as soon as a transfer has ended.
    for (auto ending : {&serialPortThread::finished, &serialPortThread::canceled})
        connect(worker, ending, &thread, &QThread::quit, Qt::DirectConnection);
    connect(worker, &serialPortThread::updateFileLength, this, [this](int lines) { length = lines; });
    connect(worker, &serialPortThread::updateProgress, this, [this](int step) { progress += step; });
    connect(worker, &serialPortThread::finished, this, [this] { endings.append(transferEnding{transferEnding::finished}); });
    connect(worker, &serialPortThread::canceled, this, [this] { endings.append(transferEnding{transferEnding::canceled}); });
    connect(worker, &serialPortThread::sendError, this, [this](const QString &text) { endings << transferEnding::error(text); });
    connect(worker, &serialPortThread::portStatusChanged, this, [this](qlonglong code) { endings << transferEnding::port(int(code)); });
    connect(worker, &serialPortThread::transferFailed, this, [this](int kind) { endings << transferEnding::failure(kind); });
}

transferRun::~transferRun()
{
    cancel();
    thread.quit();
    thread.wait();
    delete worker; // never started
}

bool transferRun::waitForEnd(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !endings.isEmpty(); }, timeoutMs))
        return false;
    // The worker closes its port when its thread ends; whatever it still
    // had to say arrives before this returns.
    thread.quit();
    thread.wait();
    QCoreApplication::sendPostedEvents(this);
    return true;
}
