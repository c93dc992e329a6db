// The update history without a port or a pty, so that it builds for Windows too: what its records read back as,
// what survives a torn line, a rotation and a folder that cannot be written, and which updates the window tells.
#include "updateHistory.h"

#include <QtTest>

namespace {

runRecord aRun(const QString &id, runEnding ending = runEnding::running, qint64 frames = 0, const QByteArray &sha256 = "aa",
               const QString &port = QStringLiteral("ttyUSB0"), const QString &serialNumber = QString())
{
    runRecord run;
    run.runId = id;
    run.interface = {port, serialNumber, serialNumber.isEmpty() ? QString() : QStringLiteral("FTDI"), QString(), QString()};
    run.sha256 = sha256;
    run.lines = 10;
    run.ending = ending;
    run.frames = frames;
    return run;
}

QStringList idsOf(const QVector<runRecord> &runs)
{
    QStringList ids;
    for (const runRecord &run : runs)
        ids << run.runId;
    return ids;
}

} // namespace

class tst_updateHistory : public QObject
{
    Q_OBJECT

private slots:
    // A power cut in the middle of a record costs that record alone.
    void tornLastLine()
    {
        QTemporaryDir folder;
        updateHistory history(folder.path());
        runRecord run = aRun("1");
        QCOMPARE(history.recordStart(run), QString());
        run.linesOut = run.frames = 4;
        QCOMPARE(history.recordProgress(run), QString());
        QFile journal(history.journalPath());
        QVERIFY(journal.open(QIODevice::Append) && journal.write("{\"record\":\"progress\",\"run\":\"1\",\"li") > 0);
        journal.close();
        QStringList warnings;
        QVector<runRecord> runs = history.runs(&warnings);
        QCOMPARE(runs.size(), 1);
        // Nobody holds its lock: the program ended before the update did.
        QCOMPARE(int(runs.first().ending), int(runEnding::interrupted));
        QCOMPARE(runs.first().linesOut, 4);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().endsWith("history.jsonl:3: a record that does not parse is skipped"), qPrintable(warnings.first()));

        run.ending = runEnding::canceled;
        run.linesOut = 5;
        QCOMPARE(history.recordEnd(run), QString());
        runs = history.runs(&warnings);
        QCOMPARE(int(runs.first().ending), int(runEnding::canceled));
        QCOMPARE(runs.first().linesOut, 5);
        QCOMPARE(warnings.size(), 2); // the torn line again, and nothing else
    }

    // Before it passes 1 MB, the journal becomes the previous one; a run across the two is read whole.
    void rotation()
    {
        QTemporaryDir folder;
        updateHistory history(folder.path());
        runRecord run = aRun("1");
        QCOMPARE(history.recordStart(run), QString());
        QFile journal(history.journalPath());
        QVERIFY(journal.open(QIODevice::Append));
        while (journal.size() < updateHistory::maxJournalBytes - 100)
            journal.write("{\"record\":\"progress\",\"run\":\"gone\",\"line\":1,\"frames\":1}\n");
        journal.close();
        run.ending = runEnding::finished;
        QCOMPARE(history.recordEnd(run), QString());
        QVERIFY(QFileInfo(history.journalPath()).size() < 1000);
        QVERIFY(QFileInfo::exists(folder.filePath("history.1.jsonl")));
        QCOMPARE(int(history.runs().value(0).ending), int(runEnding::finished));
    }

    // Where the folder would be, a file: each record says why it cannot be written.
    void unwritable()
    {
        QTemporaryDir home;
        QFile inTheWay(home.filePath("history"));
        QVERIFY(inTheWay.open(QIODevice::WriteOnly));
        updateHistory history(inTheWay.fileName());
        QCOMPARE(history.recordStart(aRun("1")), inTheWay.fileName() + " is not a folder");
    }

    void untoldAndUncovered()
    {
        // Oldest first, as they happened.
        QVector<runRecord> runs{aRun("interrupted, nothing counted", runEnding::interrupted),
                                aRun("canceled before a frame", runEnding::canceled),
                                aRun("failed, then sent whole", runEnding::failed, 3, "aa", "ttyUSB1", "S1"),
                                aRun("canceled, told", runEnding::canceled, 7, "bb"),
                                aRun("finished through the same adapter, renamed", runEnding::finished, 9, "aa", "ttyUSB2", "S1"),
                                aRun("canceled", runEnding::canceled, 4),
                                aRun("finished, another file", runEnding::finished, 9, "cc")};
        runs[3].noticed = true;
        std::reverse(runs.begin(), runs.end());
        QCOMPARE(idsOf(historyQueries::untold(runs)), (QStringList{"canceled", "interrupted, nothing counted"}));
        QCOMPARE(idsOf(historyQueries::uncoveredInterrupted(runs, runInterface{"ttyUSB0", {}, {}, {}, {}})),
                 QStringList{"interrupted, nothing counted"});
    }
};

QTEST_GUILESS_MAIN(tst_updateHistory)
#include "tst_updateHistory.moc"
