// The line trace's lines and the measurement record's CSV rows, and the two
// files they go to.
#include "trace/CsvRow.h"
#include "trace/LogFiles.h"
#include "trace/TraceLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

const QDateTime kWall(QDate(2026, 12, 7), QTime(10, 46, 7, 5));

// What the receiver says of a frame, as the trace is handed it.
FrameOutcome Refused(ReplyReceiver::Rejection why, int count, int pos = 1) {
    FrameOutcome outcome{ReplyReceiver::Result::Rejected, -1, count};
    outcome.Reason = why;
    outcome.ReasonPos = pos;
    return outcome;
}

// The lines of a trace file without their times: from the side on.
QStringList WithoutTimes(const QByteArray& trace) {
    QStringList lines;
    for (const QByteArray& line : trace.split('\n')) {
        const qsizetype side = line.indexOf(" checker ");
        if (side >= 0) {
            lines << QString::fromUtf8(line.mid(side + 9));
        }
    }
    return lines;
}

// Plays events on a trace: "b:X" a byte X refused as no frame start, "s:X" a
// byte X ended by silence, "broken" a reply whose CR lacks its LF, "reply" an
// accepted reply, "port" and "note" events without bytes.
void Play(TraceLog& trace, const QString& events) {
    using Rejection = ReplyReceiver::Rejection;
    for (const QString& event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QByteArray byte = event.mid(2).toLatin1().replace("CR", "\r").replace("01", "\x01");
        if (event.startsWith(QLatin1String("b:"))) {
            trace.Received(byte, Refused(Rejection::FirstByte, 1), 12801);
        } else if (event.startsWith(QLatin1String("s:"))) {
            trace.Received(byte, Refused(Rejection::EndedBySilence, 1), 12801);
        } else if (event == QLatin1String("broken")) {
            trace.Received("\r\nQG01\rX", Refused(Rejection::NoLfAfterCr, 7, 5), 12801);
        } else if (event == QLatin1String("reply")) {
            trace.Received("\r\nQG010203\r\n7C", {ReplyReceiver::Result::Accepted, 11, 13}, 12801);
        } else if (event == QLatin1String("port")) {
            trace.Port(QStringLiteral("closed COM1"));
        } else {
            trace.Note(QStringLiteral("Pattern1 begins"));
        }
    }
}

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

    // Bytes the receiver refused one at a time after a broken frame make one
    // line per run, with all their bytes, written when anything else happens
    // on the line or the trace ends; a lone refused byte keeps its own line.
    void refusedBytesMakeOneLinePerRun_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QStringList>("lines");
        const QString firstByte = QStringLiteral("first byte not CR, \"A\" or \"+\"");
        const QString broken =
            QStringLiteral("from-unit reply \"\\r\\nQG01\\rX\" rejected: no LF after the CR at 5");
        const QString reply = QStringLiteral("from-unit reply \"\\r\\nQG010203\\r\\n7C\" accepted");
        QTest::newRow("the tail of a broken reply")
            << "broken b:0 b:2 b:01 b:\" reply"
            << QStringList{broken, "from-unit frame \"02\\x01\\\"\" 4 bytes refused: " + firstByte,
                           reply};
        QTest::newRow("a lone refused byte")
            << "b:7 port"
            << QStringList{"from-unit frame \"7\" rejected: " + firstByte, "- port closed COM1"};
        QTest::newRow("a new verdict starts a new run")
            << "b:a b:b s:CR s:c note"
            << QStringList{
                   "from-unit frame \"ab\" 2 bytes refused: " + firstByte,
                   "from-unit frame \"\\rc\" 2 bytes refused: ended by silence after 1 byte",
                   "- note Pattern1 begins"};
        QTest::newRow("a broken frame ends a run") << "b:a b:b broken"
                                                   << QStringList{"from-unit frame \"ab\" 2 bytes "
                                                                  "refused: " +
                                                                      firstByte,
                                                                  broken};
        QTest::newRow("the end of the trace")
            << "reply b:x b:y"
            << QStringList{reply, "from-unit frame \"xy\" 2 bytes "
                                  "refused: " +
                                      firstByte};
    }
    void refusedBytesMakeOneLinePerRun() {
        QFETCH(QString, events);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line.trace"));
        {
            TraceLog trace;
            QVERIFY(trace.Open(path, nullptr));
            Play(trace, events);
        }
        QCOMPARE(WithoutTimes(ReadAll(path)), lines);
    }

    // A run the line leaves pending is written after a quiet second all the
    // same, not only with the next event.
    void aQuietLineWritesThePendingRun() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line.trace"));
        TraceLog trace;
        QVERIFY(trace.Open(path, nullptr));
        Play(trace, QStringLiteral("b:x b:y"));
        QCOMPARE(WithoutTimes(ReadAll(path)).size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(WithoutTimes(ReadAll(path)).size(), 1,
                                  10 * TraceLog::kRunQuietMs);
    }

    // A log whose file fails is told once, with the file and the cause, and
    // writes nothing more: a full device, a folder removed under the file, the
    // file itself removed.
    void aFailingFileIsToldOnceAndDropped_data() {
        QTest::addColumn<bool>("record"); // else the trace
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");
        QTest::newRow("trace on a full device")
            << false << "full"
            << "cannot write /dev/full: No space left on device";
        QTest::newRow("trace, folder removed") << false << "folder"
                                               << "the file or its folder was removed";
        QTest::newRow("record, folder removed") << true << "folder"
                                                << "the file or its folder was removed";
        QTest::newRow("record, file removed") << true << "file"
                                              << "the file or its folder was removed";
    }
    void aFailingFileIsToldOnceAndDropped() {
        QFETCH(bool, record);
        QFETCH(QString, how);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("logs")));
        const QString path = how == QLatin1String("full")
                                 ? QStringLiteral("/dev/full")
                                 : dir.filePath(QStringLiteral("logs/out.log"));
        QStringList told;
        const auto tell = [&told](const QString& why) { told << why; };
        TraceLog trace;
        RecordLog records;
        const auto write = [&] {
            if (record) {
                records.Write(1, QStringLiteral("Imd"), 1, QStringList(8, QStringLiteral("0")));
            } else {
                trace.Port(QStringLiteral("opened COM1"));
            }
        };
        QVERIFY(record ? records.Open(path, nullptr) : trace.Open(path, nullptr));
        trace.OnFailure(tell);
        records.OnFailure(tell);
        if (how != QLatin1String("full")) {
            write();
            QVERIFY(told.isEmpty());
            QVERIFY(how == QLatin1String("file") ? QFile::remove(path)
                                                 : QDir(dir.filePath("logs")).removeRecursively());
        }
        write();
        write();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].endsWith(reason), qPrintable(told[0]));
        QVERIFY(told[0].startsWith(QStringLiteral("cannot write ") + path + ": "));
        QVERIFY(record ? records.Failed() : trace.Failed());
    }

#ifdef Q_OS_LINUX
    // A row cut off by a full file system is taken back: the file ends with
    // the last whole row. (The file size limit stands in for a full disk.)
    void aCutOffRowIsTakenBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("units.csv"));
        RecordLog record;
        QString told;
        record.OnFailure([&told](const QString& why) { told = why; });
        QVERIFY(record.Open(path, nullptr));
        const QStringList channels(8, QStringLiteral("12345"));
        record.Write(1, QStringLiteral("Imd"), 1, channels);
        const QByteArray whole = ReadAll(path);
        const qint64 row = whole.size() - whole.indexOf("\r\n") - 2;
        QVERIFY(row > 40);

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = static_cast<rlim_t>(whole.size() + row / 2);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        record.Write(2, QStringLiteral("Imd"), 2, channels);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(ReadAll(path), whole);
        QVERIFY2(told.startsWith(QStringLiteral("cannot write ") + path), qPrintable(told));
    }
#endif

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
        // A record's header that finds the device full stops it at the start.
        RecordLog full;
        QVERIFY(!full.Open(QStringLiteral("/dev/full"), &recordError));
        QCOMPARE(recordError, QStringLiteral("cannot write /dev/full: No space left on device"));
        // Writing to a log that never opened must be ignored, not crash.
        trace.Port(QStringLiteral("opened COM1"));
        record.Write(1, QStringLiteral("Imd"), 1, QStringList(8, QStringLiteral("0")));
    }
};

QTEST_GUILESS_MAIN(TestTrace)
#include "test_trace.moc"
