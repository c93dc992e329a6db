// The operator's words that the window and the tool share, without a port or a window, so that the Windows build
// is held to them too: the serial port errors, what a fixture may hold after an update, durations.
#include "clockText.h"
#include "runRecord.h"
#include "serialPortErrorText.h"

#include <QSerialPort>
#include <QtTest>

Q_DECLARE_METATYPE(runEnding)

class tst_texts : public QObject
{
    Q_OBJECT

private slots:
    // Every code by its name in words, two with more to say, none for no error or an unknown code. By name:
    // Qt 5 and Qt 6 number them differently.
    void serialPortErrors()
    {
        const QMetaEnum codes = QMetaEnum::fromType<QSerialPort::SerialPortError>();
        for (int i = 0; i <= codes.keyCount(); ++i) {
            const int code = i < codes.keyCount() ? codes.value(i) : 99;
            QString text = code == QSerialPort::NoError || code == 99 ? QString() : "Serialport Error: " + QString(codes.key(i));
            text += code == QSerialPort::OpenError ? " Device already open" : code == QSerialPort::ResourceError ? ": Device Unavailable" : "";
            QCOMPARE(serialPortErrorMessage(code), text);
        }
    }

    void partialUpdate_data()
    {
        QTest::addColumn<runEnding>("ending");
        QTest::addColumn<int>("linesOut");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("told");
        const QString holds("The fixture may hold part of the update: "), again(" Send the whole file again.");
        QTest::newRow("finished") << runEnding::finished << 7 << qint64(12) << QString();
        QTest::newRow("canceled before a frame") << runEnding::canceled << 0 << qint64(0) << QString();
        QTest::newRow("canceled") << runEnding::canceled << 6 << qint64(11) << holds + "6 of 7 lines went out." + again;
        QTest::newRow("failed") << runEnding::failed << 2 << qint64(3) << holds + "2 of 7 lines went out." + again;
        // Nobody counted to the end: the last checkpoint's lines, or nothing.
        QTest::newRow("interrupted") << runEnding::interrupted << 4 << qint64(5) << holds + "at least 4 of 7 lines went out." + again;
        QTest::newRow("interrupted before a checkpoint")
            << runEnding::interrupted << 0 << qint64(0) << holds + "how many of its 7 lines went out is not known." + again;
    }

    void partialUpdate()
    {
        QFETCH(runEnding, ending);
        QFETCH(int, linesOut);
        QFETCH(qint64, frames);
        runRecord run;
        run.lines = 7;
        run.ending = ending;
        run.linesOut = linesOut;
        run.frames = frames;
        QTEST(runWords::partialUpdate(run), "told");
    }

    void clock()
    {
        QCOMPARE((QStringList{clockText(7999), clockText(765000), clockText(3723000)}), (QStringList{"0:07", "12:45", "1:02:03"}));
    }
};

QTEST_GUILESS_MAIN(tst_texts)
#include "tst_texts.moc"
