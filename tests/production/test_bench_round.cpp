// The production bench's programs around the check: a check that hangs; a
// check that cannot write its report; zel-bench itself, headless, keeping the
// results and reading them back, and refusing bad command lines. A stand-in
// checker that ends at once does the headless round's checks; the real
// checker's whole checks run in the bench window's round (test_real_checks).
#include "SimulatedUnitProcess.h"
#include "production/CheckRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Bound on a run of zel-bench: with the stand-in checker it ends within a
// second. Generous for a loaded machine and the sanitizer build.
constexpr int kRoundLimitMs = 60000;

// A stand-in for `zel_checker --check-unit`, written as a shell script to
// path: it takes the checker's command line, and the device it is given
// names the outcome: "pass", "fail:STEP:REASON" or "hang" (it never ends).
// It writes its steps to the trace and a report in the checker's form, as
// the checker's report test in the bench's logic has it.
bool WriteStandInChecker(const QString& path) {
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly)) {
        return false;
    }
    script.write(R"(#!/bin/sh
while [ $# -gt 0 ]; do
    case "$1" in
    --port) device=${2#COM1=}; shift ;;
    --report) report=$2; shift ;;
    --trace=*) trace=${1#--trace=} ;;
    esac
    shift
done
started=$(date +%Y-%m-%dT%H:%M:%S.000)
begins() { echo "$started checker - note check step $1 begins" >>"$trace"; }
case "$device" in
hang) exec sleep 600 ;;
pass) result=PASS status=0 step=Stop outcome=PASS reason= ;;
fail:*) result=FAIL status=1 outcome=FAIL
    step=$(echo "$device" | cut -d: -f2) reason=$(echo "$device" | cut -d: -f3-) ;;
esac
begins Connect
begins "$step"
cat >"$report" <<END
{"checker": "zel_checker 1.13", "port": "COM1", "device": "$device",
 "rom": "ZEL10-13 01-07-02", "started": "$started", "seconds": 9.468,
 "result": "$result", "exit_status": $status, "steps": [
 {"step": "Connect", "result": "PASS", "reason": "ROM ZEL10-13", "ms": 12, "frames": []},
 {"step": "$step", "result": "$outcome", "reason": "$reason", "ms": 881, "frames": []}]}
END
exit $status
)");
    script.close();
    return script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
}

struct RunOutput {
    int Status = -1;
    QString Out;
    QString Err;
};

RunOutput RunBench(const QString& program, const QStringList& arguments) {
    QProcess bench;
    bench.start(program, arguments);
    RunOutput output;
    if (!bench.waitForFinished(kRoundLimitMs)) {
        bench.kill();
        bench.waitForFinished();
        return output;
    }
    output.Status = bench.exitCode();
    output.Out = QString::fromUtf8(bench.readAllStandardOutput());
    output.Err = QString::fromUtf8(bench.readAllStandardError());
    return output;
}

} // namespace

class TestBenchRound : public QObject {
    Q_OBJECT
private:
    QTemporaryDir Dir;
    // zel-bench with the stand-in beside it as its zel_checker.
    QString Bench;
    QString StandIn;

private slots:
    void initTestCase() {
        QVERIFY(Dir.isValid());
        QVERIFY(QDir(Dir.path()).mkdir(QStringLiteral("bin")));
        Bench = Dir.filePath(QStringLiteral("bin/zel-bench"));
        StandIn = Dir.filePath(QStringLiteral("bin/zel_checker"));
        QVERIFY(QFile::copy(QStringLiteral(ZEL_BENCH), Bench));
        QVERIFY(WriteStandInChecker(StandIn));
    }

    void aCheckThatHangsFailsItsUnitAlone() {
        CheckRunner runner(StandIn, Dir.path());
        runner.SetTimeoutMs(1500);
        QSignalSpy finished(&runner, &CheckRunner::Finished);
        CheckRequest request;
        request.Port = QStringLiteral("COM7");
        request.Device = QStringLiteral("hang");
        request.Serial = QStringLiteral("SN-H");
        runner.Start(request);
        QVERIFY(finished.wait(30000));
        const auto r = finished.first().first().value<CheckResult>();
        QCOMPARE(r.Verdict, QStringLiteral("FAIL"));
        QCOMPARE(r.ExitStatus, 1);
        QVERIFY2(r.Reason.contains(QStringLiteral("did not end within 1 s")), qPrintable(r.Reason));
        QVERIFY(!runner.Busy());
        QCOMPARE(finished.size(), 1);
    }

    void aCheckThatCannotWriteItsReportIsNoPass() {
        SimulatedUnitProcess unit(QStringLiteral(ZEL_UNIT_SIM),
                                  {QStringLiteral("--family"), QStringLiteral("ZEL")});
        CheckRunner runner(QStringLiteral(ZEL_CHECKER),
                           Dir.filePath(QStringLiteral("no/such/folder")));
        QSignalSpy finished(&runner, &CheckRunner::Finished);
        CheckRequest request;
        request.Port = QStringLiteral("COM1");
        request.Device = unit.Device;
        request.Serial = QStringLiteral("SN-W");
        runner.Start(request);
        QVERIFY(finished.wait(kRoundLimitMs));
        const auto r = finished.first().first().value<CheckResult>();
        QVERIFY2(r.Verdict != QLatin1String("PASS") && r.ExitStatus != 0, qPrintable(r.Verdict));
        QVERIFY(!r.Reason.isEmpty());
    }

    void headlessRoundKeptAndReadBack() {
        const QString results = Dir.filePath(QStringLiteral("headless.sqlite"));
        const QString serial = QStringLiteral("SN,\"東京\" 7");
        const RunOutput run = RunBench(
            Bench,
            {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--port"),
             QStringLiteral("COM1=pass"), QStringLiteral("--port"),
             QStringLiteral("COM2=fail:Pattern1:Line1: bit differs at 25"),
             QStringLiteral("--serial"), QStringLiteral("COM1=") + serial,
             QStringLiteral("--serial"), QStringLiteral("COM2=SN-2"), QStringLiteral("--operator"),
             QStringLiteral("Ōta"), QStringLiteral("--results"), results,
             QStringLiteral("--sheets"), Dir.filePath(QStringLiteral("sheets"))});
        QVERIFY2(run.Status == 1, qPrintable(run.Out + run.Err));
        QVERIFY2(run.Out.contains(QStringLiteral("COM1 %1 PASS").arg(serial)), qPrintable(run.Out));
        QVERIFY2(run.Out.contains(QStringLiteral("COM2 SN-2 FAIL")) &&
                     run.Out.contains(QStringLiteral("Pattern1")),
                 qPrintable(run.Out));
        QCOMPARE(run.Out.count(QStringLiteral("[stored")), 2);

        const RunOutput csv =
            RunBench(Bench, {QStringLiteral("--results"), results, QStringLiteral("--export-csv"),
                             QStringLiteral("-")});
        QCOMPARE(csv.Status, 0);
        const QStringList rows = csv.Out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QVERIFY2(csv.Out.contains(QStringLiteral(",\"SN,\"\"東京\"\" 7\",Ōta,")),
                 qPrintable(csv.Out));

        const QString pdf = Dir.filePath(QStringLiteral("summary.pdf"));
        const RunOutput summary =
            RunBench(Bench, {QStringLiteral("--results"), results, QStringLiteral("--summary"),
                             QStringLiteral("--pdf"), pdf});
        QCOMPARE(summary.Status, 0);
        QVERIFY2(summary.Out.contains(QStringLiteral("2 units checked, 1 passed, yield 50.0 %")),
                 qPrintable(summary.Out));
        QVERIFY2(summary.Out.contains(QStringLiteral("Pattern1          1")),
                 qPrintable(summary.Out));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");
    }

    void badCommandLines_data() {
        QTest::addColumn<QString>("arguments"); // separated by blanks
        QTest::addColumn<QString>("message");
        QTest::newRow("port named twice")
            << "--headless --once --port COM1=/dev/null --port COM1=/dev/zero --serial COM1=SN"
            << "named twice";
        QTest::newRow("a port without a serial") << "--headless --once --port COM1=/dev/null"
                                                 << "COM1 has no serial number";
        QTest::newRow("wrong results URL") << "--headless --once --port COM1=/dev/null --serial "
                                              "COM1=SN --results postgresql://bench@db.line/"
                                           << "postgresql://bench@db.line/: names no database";
        QTest::newRow("unknown option") << "--colour"
                                        << "Unknown option 'colour'";
        QTest::newRow("bad day") << "--summary --day 2026-13-01"
                                 << "--day 2026-13-01";
    }
    void badCommandLines() {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        const RunOutput run =
            RunBench(QStringLiteral(ZEL_BENCH), arguments.split(QLatin1Char(' ')));
        QCOMPARE(run.Status, 64);
        QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
        QVERIFY(run.Out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBenchRound)
#include "test_bench_round.moc"
