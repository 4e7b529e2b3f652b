#include "checks/UnitCheckReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

std::array<int16_t, 256> BitsSet(const QList<int>& cells, int16_t others = 0) {
    std::array<int16_t, 256> bits{};
    bits.fill(others);
    for (int cell : cells) {
        bits[static_cast<std::size_t>(cell)] = static_cast<int16_t>(1 - others);
    }
    return bits;
}

// "cell:read:written" for each difference, in order.
QStringList Listed(const QList<CellDifference>& differences) {
    QStringList listed;
    for (const CellDifference& d : differences) {
        listed << QStringLiteral("%1:%2:%3").arg(d.Cell).arg(d.Read).arg(d.Written);
    }
    return listed;
}

StepReport Step(const QString& name, StepResult result) {
    return {name, result, {}, 0, {}};
}

} // namespace

class TestUnitCheckReport : public QObject {
    Q_OBJECT
private slots:
    void linesAreComparedCellByCell_data() {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QList<int>>("flipped"); // cells that differ from the rest
        QTest::addColumn<int>("rest");
        QTest::addColumn<int>("bitLast");
        QTest::addColumn<QStringList>("differences");
        const QByteArray zeros(62, '0');
        // Byte 0 = 01 is cell 0; byte 0 = 80 is cell 7; byte 4 = 20 is cell 37.
        QTest::newRow("bit 0 of byte 0 is cell 0")
            << ("01" + zeros) << QList<int>{0} << 0 << 255 << QStringList{};
        QTest::newRow("bit 7 of byte 0 is cell 7")
            << ("80" + zeros) << QList<int>{0} << 0 << 255 << QStringList{"0:1:0", "7:0:1"};
        QTest::newRow("a bit stuck at 0 under all ones")
            << QByteArray(64, 'F') << QList<int>{37} << 1 << 255 << QStringList{"37:0:1"};
        QTest::newRow("a bit stuck at 1 in a clear line")
            << QByteArray(64, '0') << QList<int>{255} << 0 << 255 << QStringList{"255:1:0"};
        QTest::newRow("cells past the scan are not judged")
            << QByteArray(64, '0') << QList<int>{128, 200} << 0 << 127 << QStringList{};
        QTest::newRow("the last scanned cell is judged")
            << QByteArray(64, '0') << QList<int>{127} << 0 << 127 << QStringList{"127:1:0"};
    }
    void linesAreComparedCellByCell() {
        QFETCH(QByteArray, written);
        QFETCH(QList<int>, flipped);
        QFETCH(int, rest);
        QFETCH(int, bitLast);
        QFETCH(QStringList, differences);
        QCOMPARE(
            Listed(CompareLine(written, BitsSet(flipped, static_cast<int16_t>(rest)), bitLast)),
            differences);
    }

    void differencesNameCellsAsTheReadoutShowsThem() {
        QCOMPARE(DescribeDifferences({}), QString());
        QCOMPARE(DescribeDifferences({{37, 1, 0}}), QStringLiteral("bit differs at 25 (read 1, "
                                                                   "written 0)"));
        QList<CellDifference> many;
        for (int cell = 0; cell < 18; ++cell) {
            many.append({cell * 10, 0, 1});
        }
        const QString text = DescribeDifferences(many);
        QVERIFY2(text.startsWith(QStringLiteral("bits differ at 00 (read 0, written 1), 0A ")),
                 qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("96 (read 0, written 1) and 2 more")),
                 qPrintable(text));
    }

    // Four lines as a "QD" scan leaves them: line 1 reads all ones, the
    // others as the row says. Only lines with something written are judged.
    void everyLineIsJudgedAndNamed_data() {
        QTest::addColumn<QList<int>>("writtenLines"); // lines written with all ones
        QTest::addColumn<QList<int>>("zeroCells");    // 256 x line + cell read as 0
        QTest::addColumn<int>("bitLast");
        QTest::addColumn<QString>("reason");
        QTest::newRow("all four as written") << QList<int>{0, 1, 2, 3} << QList<int>{} << 255 << "";
        QTest::newRow("a bit on Line3 only")
            << QList<int>{0, 1, 2, 3} << QList<int>{512 + 37} << 255
            << "Line3: bit differs at 25 (read 0, written 1)";
        QTest::newRow("Line2 and Line4, each named")
            << QList<int>{0, 1, 2, 3} << QList<int>{256, 768 + 255} << 255
            << "Line2: bit differs at 00 (read 0, written 1); Line4: bit differs at FF (read 0, "
               "written 1)";
        QTest::newRow("a line not written is not judged")
            << QList<int>{0} << QList<int>{256} << 255 << "";
        QTest::newRow("beyond the scan on Line4")
            << QList<int>{0, 1, 2, 3} << QList<int>{768 + 64} << 63 << "";
    }
    void everyLineIsJudgedAndNamed() {
        QFETCH(QList<int>, writtenLines);
        QFETCH(QList<int>, zeroCells);
        QFETCH(int, bitLast);
        QFETCH(QString, reason);
        std::array<QByteArray, 4> written;
        for (int line : writtenLines) {
            written.at(static_cast<std::size_t>(line)) = QByteArray(64, 'F');
        }
        std::vector<int16_t> bits(1024, 1);
        for (int at : zeroCells) {
            bits.at(static_cast<std::size_t>(at)) = 0;
        }
        QCOMPARE(CompareLines(written, bits, bitLast), reason);
    }

    void theUnitMustBeWhatTheBenchExpects() {
        QCOMPARE(ScanSizeVerdict(256, 256), QString());
        QCOMPARE(ScanSizeVerdict(64, 256), QStringLiteral("the unit scans 64 bits; a ZEL-03 "
                                                          "scans 256"));
        QCOMPARE(ScanSizeVerdict(128, 128), QString());
        QCOMPARE(ScanSizeVerdict(256, 128), QStringLiteral("the unit scans 256 bits; the bench "
                                                           "expects 128"));
        QCOMPARE(RomVerdict(QStringLiteral("LUPTAB13 99-11-26"), QString()), QString());
        QCOMPARE(RomVerdict(QStringLiteral("LUPTAB13 99-11-26"), QStringLiteral("LUPTAB13")),
                 QString());
        QCOMPARE(RomVerdict(QStringLiteral("LUPTAB12 98-02-01"), QStringLiteral("LUPTAB13")),
                 QStringLiteral("the unit names ROM LUPTAB12, the bench expects LUPTAB13"));
        // A name the expectation only begins is another ROM.
        QVERIFY(!RomVerdict(QStringLiteral("LUPTAB13X 99-11-26"), QStringLiteral("LUPTAB13"))
                     .isEmpty());
        QCOMPARE(LinkErrorReason({QStringLiteral("rejected: no LF after the CR at 40")}),
                 QStringLiteral("rejected: no LF after the CR at 40"));
        QCOMPARE(LinkErrorReason({QStringLiteral("checksum error (received 26, computed D9)"),
                                  QStringLiteral("rejected: first byte")}),
                 QStringLiteral("2 frames refused by the receiver, the first: checksum error "
                                "(received 26, computed D9)"));
    }

    void theCounterMustMove() {
        QVERIFY(CounterAdvanced(384, 490));
        QVERIFY(!CounterAdvanced(5, 5));
        QVERIFY(CounterAdvanced(0xFFFFF0, 0x000010)); // wrapped past FFFFFF
        QVERIFY(CounterAdvanced(0x00FFFF, 0x01FFFF)); // moved by 65536 exactly
    }

    // Events: "P3" unit 3 polled, "A" a good record, "R" a refused frame,
    // "E" the wait ends.
    void recordScanAnswersBelongToTheirPoll_data() {
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QStringList>("failures");
        QTest::newRow("all answered") << 3 << "P1 A P2 A P3 A" << true << QStringList{};
        QTest::newRow("starting mid-cycle") << 2 << "P2 A P1 A" << true << QStringList{};
        QTest::newRow("a poll without answer")
            << 2 << "P1 P2 A" << true << QStringList{"unit 1: no answer"};
        QTest::newRow("a unit never polled")
            << 3 << "P1 A P2 A E" << false << QStringList{"unit 3: not polled"};
        QTest::newRow("a refused frame instead of the record")
            << 2 << "P1 R R P2 A E" << true << QStringList{"unit 1: refused 1"};
        QTest::newRow("the first poll of a unit decides")
            << 1 << "P1 A P1 R E" << true << QStringList{};
        QTest::newRow("the wait ends on the last poll")
            << 2 << "P1 A P2 E" << true << QStringList{"unit 2: no answer"};
    }
    void recordScanAnswersBelongToTheirPoll() {
        QFETCH(int, units);
        QFETCH(QString, events);
        QFETCH(bool, complete);
        QFETCH(QStringList, failures);
        RecordScanTally tally(units);
        int refusals = 0;
        for (const QString& event : events.split(QLatin1Char(' '))) {
            if (event.startsWith(QLatin1Char('P'))) {
                tally.Polled(event.mid(1).toInt());
            } else if (event == QLatin1String("A")) {
                tally.Answered();
            } else if (event == QLatin1String("R")) {
                tally.Refused(QStringLiteral("refused %1").arg(++refusals));
            } else {
                tally.EndOfWait();
            }
        }
        QCOMPARE(tally.Complete(), complete);
        QCOMPARE(tally.Failures(), failures);
    }

    void exitStatusAndBoxFollowTheSteps_data() {
        QTest::addColumn<bool>("portOpened");
        QTest::addColumn<QString>("portFailure");
        QTest::addColumn<bool>("unitAnswered");
        QTest::addColumn<QList<int>>("results"); // StepResult per step
        QTest::addColumn<QString>("outputFailure");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("overall");
        QTest::addColumn<QString>("box");
        const int pass = static_cast<int>(StepResult::Pass);
        const int fail = static_cast<int>(StepResult::Fail);
        const int skip = static_cast<int>(StepResult::Skip);
        const QString none;
        const QString full = QStringLiteral("cannot write /x.log: No space left on device");
        QTest::newRow("all passed")
            << true << none << true << QList<int>{pass, pass} << none << 0 << "PASS"
            << "検査合格（LUPTAB13、2.5 秒）\r\nUnit check passed (ROM "
               "LUPTAB13, 2.5 s).";
        QTest::newRow("a skipped step is no failure")
            << true << none << true << QList<int>{pass, skip} << none << 0 << "PASS"
            << "検査合格（LUPTAB13、2.5 秒）\r\nUnit check passed (ROM LUPTAB13, 2.5 s).";
        QTest::newRow("failed steps are named")
            << true << none << true << QList<int>{fail, pass, fail} << none << 1 << "FAIL"
            << "検査不合格：step0, step2\r\nUnit check failed: step0, step2.";
        QTest::newRow("no port") << false << none << false << QList<int>{fail} << none << 2
                                 << "NO UNIT"
                                 << "COM1 を開けません！\r\nThe port COM1 (/dev/x) could not be "
                                    "opened.";
        QTest::newRow("no port: in use")
            << false << "in use" << false << QList<int>{fail} << none << 2 << "NO UNIT"
            << "COM1 を開けません（使用中）！\r\nThe port COM1 (/dev/x) could not be opened: in "
               "use.";
        QTest::newRow("no port: does not exist")
            << false << "does not exist" << false << QList<int>{fail} << none << 2 << "NO UNIT"
            << "COM1 を開けません（デバイスがありません）！\r\nThe port COM1 (/dev/x) could not be "
               "opened: does not exist.";
        QTest::newRow("no port: no permission")
            << false << "no permission" << false << QList<int>{fail} << none << 2 << "NO UNIT"
            << "COM1 を開けません（権限がありません）！\r\nThe port COM1 (/dev/x) could not be "
               "opened: no permission.";
        QTest::newRow("no port: another cause in the system's words")
            << false << "Input/output error" << false << QList<int>{fail} << none << 2 << "NO UNIT"
            << "COM1 を開けません（Input/output error）！\r\nThe port COM1 (/dev/x) could not be "
               "opened: Input/output error.";
        QTest::newRow("no unit") << true << none << false << QList<int>{fail} << none << 2
                                 << "NO UNIT"
                                 << "ユニットが応答しません！\r\nNo unit answered on COM1 "
                                    "(/dev/x).";
        // A lost output outranks every verdict of the unit, a pass above all.
        QTest::newRow("output lost, the steps passed")
            << true << none << true << QList<int>{pass, pass} << full << 74 << "FAIL"
            << "検査不合格：出力ファイルに書き込めません\r\nUnit check failed: " + full + ".";
        QTest::newRow("output lost, a step failed")
            << true << none << true << QList<int>{fail} << full << 74 << "FAIL"
            << "検査不合格：出力ファイルに書き込めません\r\nUnit check failed: " + full + ".";
        QTest::newRow("output lost, no unit")
            << true << none << false << QList<int>{fail} << full << 74 << "FAIL"
            << "検査不合格：出力ファイルに書き込めません\r\nUnit check failed: " + full + ".";
    }
    void exitStatusAndBoxFollowTheSteps() {
        QFETCH(bool, portOpened);
        QFETCH(QString, portFailure);
        QFETCH(bool, unitAnswered);
        QFETCH(QList<int>, results);
        QFETCH(QString, outputFailure);
        QFETCH(int, status);
        QFETCH(QString, overall);
        QFETCH(QString, box);
        CheckReport report;
        report.Port = QStringLiteral("COM1");
        report.Device = QStringLiteral("/dev/x");
        report.Rom = QStringLiteral("LUPTAB13");
        report.Ms = 2500;
        report.PortOpened = portOpened;
        report.PortFailure = portFailure;
        report.UnitAnswered = unitAnswered;
        report.OutputFailure = outputFailure;
        for (int i = 0; i < results.size(); ++i) {
            report.Steps.append(
                Step(QStringLiteral("step%1").arg(i), static_cast<StepResult>(results[i])));
        }
        QCOMPARE(report.ExitStatus(), status);
        QCOMPARE(report.Overall(), overall);
        QCOMPARE(VerdictBoxText(report), box);
    }

    void theJsonReportCarriesStepsAndTheirFrames() {
        CheckReport report;
        report.Checker = QStringLiteral("zel_checker 1.13");
        report.Port = QStringLiteral("COM1");
        report.Device = QStringLiteral("/dev/pts/4");
        report.Rom = QStringLiteral("ZEL10-13 01-07-02");
        report.Started = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 1, 20));
        report.Ms = 5621;
        report.PortOpened = report.UnitAnswered = true;
        StepReport pattern = Step(QStringLiteral("Pattern1"), StepResult::Fail);
        pattern.Reason = QStringLiteral("line 0: bit differs at 25 (read 1, written 0)");
        pattern.Ms = 480;
        pattern.Frames.append({report.Started, LineDirection::ToUnit, "\r\nQ:000\r\nC1", {}});
        pattern.Frames.append(
            {report.Started, LineDirection::FromUnit, "\r\nQB0\"\xB5\r\n69", "accepted"});
        report.Steps = {Step(QStringLiteral("Connect"), StepResult::Pass), pattern};

        const QByteArray json = ReportJson(report);
        QJsonParseError error{};
        const QJsonObject root = QJsonDocument::fromJson(json, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(json.indexOf("\"checker\"") < json.indexOf("\"steps\"")); // reading order kept
        QCOMPARE(root[QStringLiteral("result")].toString(), QStringLiteral("FAIL"));
        QCOMPARE(root[QStringLiteral("exit_status")].toInt(), 1);
        QCOMPARE(root[QStringLiteral("seconds")].toDouble(), 5.621);
        QCOMPARE(root[QStringLiteral("started")].toString(),
                 QStringLiteral("2026-12-07T09:05:01.020"));
        const QJsonArray steps = root[QStringLiteral("steps")].toArray();
        QCOMPARE(steps.size(), 2);
        QCOMPARE(steps[0].toObject()[QStringLiteral("frames")].toArray().size(), 0);
        const QJsonObject step = steps[1].toObject();
        QCOMPARE(step[QStringLiteral("step")].toString(), QStringLiteral("Pattern1"));
        QCOMPARE(step[QStringLiteral("reason")].toString(), pattern.Reason);
        QCOMPARE(step[QStringLiteral("ms")].toInt(), 480);
        const QJsonArray frames = step[QStringLiteral("frames")].toArray();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].toObject()[QStringLiteral("direction")].toString(),
                 QStringLiteral("to-unit"));
        QVERIFY(!frames[0].toObject().contains(QStringLiteral("verdict")));
        // Every byte comes back as the character of its value, quotes and
        // bytes above 7F included.
        QCOMPARE(frames[1].toObject()[QStringLiteral("bytes")].toString(),
                 QString::fromLatin1("\r\nQB0\"\xB5\r\n69"));
        QCOMPARE(frames[1].toObject()[QStringLiteral("verdict")].toString(),
                 QStringLiteral("accepted"));
    }
};

QTEST_GUILESS_MAIN(TestUnitCheckReport)
#include "test_unit_check_report.moc"
