// The line trace's lines and the measurement record's CSV rows, and the two
// files they go to.
#include "trace/CsvRow.h"
#include "trace/LogFiles.h"
#include "trace/TraceLine.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

const QDateTime kWall(QDate(2026, 12, 7), QTime(10, 46, 7, 5));

} // namespace

class TestTrace : public QObject {
    Q_OBJECT
private slots:
    // Each kind of frame, told from its bytes and direction, and the line it
    // makes: times, side, direction, kind, the escaped bytes, the detail.
    void framesMakeOneLineEach_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("toUnit");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("line");
        const QString head = QStringLiteral("    1234 2026-12-07T10:46:07.005 checker ");
        QTest::newRow("command") << QByteArray("\r\nQV\r\nD5") << true << QString()
                                 << head + "to-unit command \"\\r\\nQV\\r\\nD5\"";
        QTest::newRow("modem line") << QByteArray("\r\nOK\r\n") << true << QString()
                                    << head + "to-unit modem-line \"\\r\\nOK\\r\\n\"";
        QTest::newRow("reply") << QByteArray("\r\nQG010203\r\n7C") << false
                               << QStringLiteral("accepted")
                               << head + "from-unit reply \"\\r\\nQG010203\\r\\n7C\" accepted";
        QTest::newRow("reply cut after its CR LF")
            << QByteArray("\r\nQG01\r\n") << false << QStringLiteral("accepted")
            << head + "from-unit reply \"\\r\\nQG01\\r\\n\" accepted";
        QTest::newRow("modem command") << QByteArray("AT&F\r") << false << QString()
                                       << head + "from-unit modem-command \"AT&F\\r\"";
        QTest::newRow("result line") << QByteArray("\r\nRING\r\n") << false << QString()
                                     << head + "from-unit result-line \"\\r\\nRING\\r\\n\"";
        QTest::newRow("escape") << QByteArray("+++") << false << QString()
                                << head + "from-unit escape \"+++\"";
        // Every control and non-ASCII byte escaped, quote and backslash too.
        QTest::newRow("damaged") << QByteArray("X\x00\x7f\xc3\xa9\\\"\t", 8) << false
                                 << QStringLiteral("rejected: first byte not CR, \"A\" or \"+\"")
                                 << head + "from-unit frame \"X\\x00\\x7f\\xc3\\xa9\\\\\\\"\\t\" "
                                           "rejected: first byte not CR, \"A\" or \"+\"";
        QTest::newRow("to the unit without CR LF")
            << QByteArray("QV") << true << QString() << head + "to-unit frame \"QV\"";
    }
    void framesMakeOneLineEach() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, toUnit);
        QFETCH(QString, detail);
        QFETCH(QString, line);
        TraceEntry e;
        e.MonoMs = 1234;
        e.Wall = kWall;
        e.Side = QStringLiteral("checker");
        e.Direction = toUnit ? LineDirection::ToUnit : LineDirection::FromUnit;
        e.Kind = FrameKindName(ClassifyFrame(bytes, e.Direction));
        e.HasBytes = true;
        e.Bytes = bytes;
        e.Detail = detail;
        QCOMPARE(FormatTraceLine(e), line);
    }

    void eventsWithoutBytes() {
        TraceEntry e;
        e.MonoMs = 123456789;
        e.Wall = kWall;
        e.Side = QStringLiteral("unit");
        e.Kind = QStringLiteral("note");
        e.Detail = QStringLiteral("device gone");
        QCOMPARE(FormatTraceLine(e),
                 QStringLiteral("123456789 2026-12-07T10:46:07.005 unit - note device gone"));
    }

    void csvQuotesWhatNeedsIt_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("row");
        QTest::newRow("plain") << QStringList{"a1", "Tmp", "3", "", "-12.5"}
                               << QByteArray("a1,Tmp,3,,-12.5\r\n");
        QTest::newRow("comma") << QStringList{"1,5", "x"} << QByteArray("\"1,5\",x\r\n");
        QTest::newRow("quotes") << QStringList{"say \"hi\"", "\""}
                                << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\r\n");
        QTest::newRow("line breaks")
            << QStringList{"two\r\nlines", "lf\n"} << QByteArray("\"two\r\nlines\",\"lf\n\"\r\n");
        QTest::newRow("blanks at the ends")
            << QStringList{" 25", "25 ", "2 5"} << QByteArray("\" 25\",\"25 \",2 5\r\n");
        QTest::newRow("Japanese in UTF-8")
            << QStringList{QStringLiteral("温度"), QStringLiteral("湿度,％")}
            << QByteArray("\xe6\xb8\xa9\xe5\xba\xa6,\"\xe6\xb9\xbf\xe5\xba\xa6,\xef\xbc\x85\"\r\n");
    }
    void csvQuotesWhatNeedsIt() {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, row);
        QCOMPARE(CsvRow(fields), row);
    }

    // The record gets its header once, however often the file is opened, and
    // every row is in the file as soon as it is written.
    void recordFileAppendsRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("units.csv"));
        const QByteArray header = "time,unit,type,record,1CH,2CH,3CH,4CH,5CH,6CH,7CH,8CH\r\n";
        {
            RecordLog record;
            QVERIFY(record.Open(path, nullptr));
            record.Write(3, QStringLiteral("Volt"), 3,
                         {"1,5", "2", "3", "4", "5", "6", "7", QStringLiteral("℃")});
            const QByteArray written = ReadAll(path);
            QVERIFY2(written.startsWith(header + "20"), written.constData());
            QVERIFY2(written.endsWith(",a3,Volt,3,\"1,5\",2,3,4,5,6,7,\xe2\x84\x83\r\n"),
                     written.constData());
        }
        RecordLog again;
        QVERIFY(again.Open(path, nullptr));
        again.Write(10, QStringLiteral("TH"), 10, QStringList(8, QString()));
        const QByteArray both = ReadAll(path);
        QCOMPARE(both.count(header), 1);
        QCOMPARE(both.count("\r\n"), 3);
        QVERIFY2(both.endsWith(",a10,TH,10,,,,,,,,\r\n"), both.constData());
    }

    void traceFileGetsEachLineAtOnce() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line.trace"));
        TraceLog trace;
        QVERIFY(trace.Open(path, nullptr));
        trace.Sent(FrameKind::Command, "\r\nQV\r\nD5");
        trace.Port(QStringLiteral("closed COM1"));
        const QList<QByteArray> lines = ReadAll(path).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].endsWith(" checker to-unit command \"\\r\\nQV\\r\\nD5\""), lines[0]);
        QVERIFY2(lines[1].endsWith(" checker - port closed COM1"), lines[1]);
        QCOMPARE(lines[2], QByteArray());
    }

    void unwritablePathsFailWithAMessage() {
        const QString path = QStringLiteral("/nonexistent-dir/x.log");
        const QString expected = QStringLiteral("cannot write ") + path + ": ";
        QString traceError;
        TraceLog trace;
        QVERIFY(!trace.Open(path, &traceError));
        QVERIFY2(traceError.startsWith(expected), qPrintable(traceError));
        QString recordError;
        RecordLog record;
        QVERIFY(!record.Open(path, &recordError));
        QVERIFY2(recordError.startsWith(expected), qPrintable(recordError));
        // Writing to a log that never opened must be ignored, not crash.
        trace.Port(QStringLiteral("opened COM1"));
        record.Write(1, QStringLiteral("Imd"), 1, QStringList(8, QStringLiteral("0")));
    }
};

QTEST_GUILESS_MAIN(TestTrace)
#include "test_trace.moc"
