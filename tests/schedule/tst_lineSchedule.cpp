// The schedule's waits under models of the system's timer, in virtual time (bench/scheduleModel.h): the
// benchmarks' workloads take at most 3 % more than their time on the wire, and no break, mark, frame or hold
// ends early. No port: it runs wherever it is built.
#include "benchWorkloads.h"
#include "scheduleModel.h"

#include <QtTest>

class tst_lineSchedule : public QObject
{
    Q_OBJECT

private slots:
    void waitsEndOnTime_data()
    {
        QTest::addColumn<framePlan>("frames");
        QTest::addColumn<qint64>("tickNs"); // 0 for a fine timer, -1 for the system's own
        QTest::addColumn<bool>("crowded"); // more lines to send than cores
        QTest::addColumn<double>("overIdeal"); // at most
        QTest::addColumn<double>("busyShare"); // at most

        for (const benchWorkloads::workload &w : benchWorkloads::transferWorkloads()) {
            const framePlan frames = benchWorkloads::expectedFrames(w);
            QTest::addRow("%s, Windows' default timer", qPrintable(w.name)) << frames << qint64(15625000) << false << 1.03 << 1.0;
            // A busy machine's late wakes are no coarse timer: spinning would not keep time there either, and
            // where the lines outnumber the cores it would take the processor from the others.
            QTest::addRow("%s, fine timer, busy machine", qPrintable(w.name)) << frames << qint64(0) << false << qInf() << 0.1;
            QTest::addRow("%s, more lines than cores", qPrintable(w.name)) << frames << qint64(0) << true << qInf() << 0.01;
        }
        // In real time, so only the order counts: the timer of the system the test was built for.
        QTest::newRow("50 lines, the system's timer") << benchWorkloads::expectedFrames({QString(), 50, 64, 2}) << qint64(-1) << false
                                                      << qInf() << 1.0;
    }

    void waitsEndOnTime()
    {
        QFETCH(framePlan, frames);
        QFETCH(qint64, tickNs);
        QFETCH(bool, crowded);
        QFETCH(double, overIdeal);
        QFETCH(double, busyShare);

        if (tickNs < 0) {
            const QStringList early = scheduleModel::sendBySystemTimer(frames);
            QVERIFY2(early.isEmpty(), qPrintable(early.mid(0, 5).join(QLatin1String(", "))));
            return;
        }
        const scheduleModel::result sent = scheduleModel::send(frames, {QString(), tickNs, crowded});
        QVERIFY2(sent.early.isEmpty(), qPrintable(sent.early.mid(0, 5).join(QLatin1String(", "))));
        QVERIFY2(sent.overIdeal <= overIdeal, qPrintable(QStringLiteral("%1 times the ideal time").arg(sent.overIdeal)));
        QVERIFY2(sent.busyShare <= busyShare, qPrintable(QStringLiteral("busy %1 of the time").arg(sent.busyShare)));
    }
};

QTEST_APPLESS_MAIN(tst_lineSchedule)
#include "tst_lineSchedule.moc"
