// A round of the production bench against simulated units on
// pseudo-terminals, with the real zel_checker doing each check: four units
// and a line nobody answers on, all at once; a check that hangs; a check
// that cannot write its report; and zel-bench itself, headless, keeping the
// results and reading them back, and refusing bad command lines.
#include "PseudoTerminal.h"

#include "production/CheckRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace {

// Bound on a round: a check takes 10 to 15 s, a line nobody answers on about
// 9 s. Generous for a loaded machine and the sanitizer build.
constexpr int kRoundLimitMs = 120000;

// zel-unit-sim on a new pseudo-terminal; Device is where it listens.
struct SimulatedUnit {
    std::unique_ptr<QProcess> Process = std::make_unique<QProcess>();
    QString Device;
    explicit SimulatedUnit(const QStringList& arguments) {
        Process->start(QStringLiteral(ZEL_UNIT_SIM), arguments);
        if (Process->waitForReadyRead(10000)) {
            Device = QString::fromLocal8Bit(Process->readLine()).trimmed();
        }
    }
    ~SimulatedUnit() {
        Process->kill();
        Process->waitForFinished();
    }
};

QStringList Sim(const char* family, const char* fault = nullptr) {
    QStringList arguments{QStringLiteral("--family"), QLatin1String(family)};
    if (fault != nullptr) {
        arguments << QStringLiteral("--fault") << QLatin1String(fault);
    }
    return arguments;
}

struct RunOutput {
    int Status = -1;
    QString Out;
    QString Err;
};

RunOutput RunBench(const QStringList& arguments, int limitMs = kRoundLimitMs) {
    QProcess bench;
    bench.start(QStringLiteral(ZEL_BENCH), arguments);
    RunOutput output;
    if (!bench.waitForFinished(limitMs)) {
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

private slots:
    void initTestCase() { QVERIFY(Dir.isValid()); }

    void fourUnitsAndASilentLineAtOnce() {
        struct Port {
            const char* Name;
            QStringList Unit; // empty: the silent line
            const char* Verdict;
            const char* Step;
            const char* Reason;
        };
        const std::vector<Port> ports{
            {"COM1", Sim("ZEL"), "PASS", "", ""},
            {"COM2", Sim("LUP"), "PASS", "", ""},
            {"COM3", Sim("ZEL", "stuck-bit=37"), "FAIL", "Pattern1", "25 (read 1, written 0)"},
            {"COM4", Sim("RAV", "no-counter"), "FAIL", "24-bit counter", "counter"},
            {"COM5", {}, "NO UNIT", "Connect", ""}};
        PtyPeer silent;
        QVERIFY(silent.Ok());
        std::vector<std::unique_ptr<SimulatedUnit>> units;
        std::vector<std::unique_ptr<CheckRunner>> runners;
        std::map<QString, CheckResult> results;
        std::map<QString, qint64> endedAt;
        std::map<QString, QStringList> stepsSeen;
        QElapsedTimer round;
        round.start();
        for (const Port& port : ports) {
            CheckRequest request;
            request.Port = QLatin1String(port.Name);
            request.Serial = QStringLiteral("SN-") + request.Port;
            if (port.Unit.isEmpty()) {
                request.Device = silent.SlaveName;
            } else {
                units.push_back(std::make_unique<SimulatedUnit>(port.Unit));
                request.Device = units.back()->Device;
                QVERIFY(!request.Device.isEmpty());
            }
            auto runner = std::make_unique<CheckRunner>(QStringLiteral(ZEL_CHECKER), Dir.path());
            connect(runner.get(), &CheckRunner::StepBegins, this,
                    [&, name = request.Port](const QString& step) { stepsSeen[name] << step; });
            connect(runner.get(), &CheckRunner::Finished, this,
                    [&, name = request.Port](const CheckResult& r) {
                        results[name] = r;
                        endedAt[name] = round.elapsed();
                    });
            runner->Start(request);
            runners.push_back(std::move(runner));
        }
        QTRY_VERIFY_WITH_TIMEOUT(results.size() == ports.size(), kRoundLimitMs);
        const qint64 roundMs = round.elapsed();
        qint64 longest = 0;
        qint64 sum = 0;
        for (const Port& port : ports) {
            const CheckResult& r = results.at(QLatin1String(port.Name));
            qInfo("%s: %s after %lld ms (check %lld ms) %s", port.Name, qPrintable(r.Verdict),
                  endedAt.at(QLatin1String(port.Name)), r.Ms,
                  qPrintable(stepsSeen[QLatin1String(port.Name)].join(QLatin1Char(' '))));
            QCOMPARE(r.Verdict, QLatin1String(port.Verdict));
            QCOMPARE(r.FailedStep, QLatin1String(port.Step));
            QVERIFY2(r.Reason.contains(QLatin1String(port.Reason)), qPrintable(r.Reason));
            QCOMPARE(r.Serial, QStringLiteral("SN-") + QLatin1String(port.Name));
            if (!port.Unit.isEmpty()) {
                QVERIFY(r.ReportJson.contains("\"steps\""));
                QVERIFY(r.CheckerVersion.startsWith(QStringLiteral("zel_checker ")));
                // The steps showed while the check ran, in order.
                QVERIFY2(stepsSeen[QLatin1String(port.Name)].mid(0, 2) ==
                             (QStringList{QStringLiteral("Connect"), QStringLiteral("Pattern1")}),
                         qPrintable(stepsSeen[QLatin1String(port.Name)].join(' ')));
            }
            longest = std::max(longest, endedAt.at(QLatin1String(port.Name)));
            sum += r.Ms;
        }
        qInfo("round of %zu ports: %lld ms; the checks took %lld ms together", ports.size(),
              roundMs, sum);
        // Checked side by side, not one after the other.
        QVERIFY2(roundMs < sum, "the checks ran one after the other");
    }

    void aCheckThatHangsFailsItsUnitAlone() {
        // A stand-in for a checker that never ends.
        const QString hanging = Dir.filePath(QStringLiteral("hanging-checker"));
        QFile script(hanging);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec sleep 600\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        CheckRunner runner(hanging, Dir.path());
        runner.SetTimeoutMs(1500);
        QSignalSpy finished(&runner, &CheckRunner::Finished);
        CheckRequest request;
        request.Port = QStringLiteral("COM7");
        request.Device = QStringLiteral("/dev/null");
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
        SimulatedUnit unit(Sim("ZEL"));
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
        SimulatedUnit healthy(Sim("LUP"));
        SimulatedUnit faulty(Sim("ZEL", "stuck-bit=37"));
        const QString results = Dir.filePath(QStringLiteral("headless.sqlite"));
        const QString serial = QStringLiteral("SN,\"東京\" 7");
        const RunOutput run = RunBench(
            {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--port"),
             QStringLiteral("COM1=") + healthy.Device, QStringLiteral("--port"),
             QStringLiteral("COM2=") + faulty.Device, QStringLiteral("--serial"),
             QStringLiteral("COM1=") + serial, QStringLiteral("--serial"),
             QStringLiteral("COM2=SN-2"), QStringLiteral("--operator"), QStringLiteral("Ōta"),
             QStringLiteral("--results"), results, QStringLiteral("--sheets"),
             Dir.filePath(QStringLiteral("sheets"))});
        QVERIFY2(run.Status == 1, qPrintable(run.Out + run.Err));
        QVERIFY2(run.Out.contains(QStringLiteral("COM1 %1 PASS").arg(serial)), qPrintable(run.Out));
        QVERIFY2(run.Out.contains(QStringLiteral("COM2 SN-2 FAIL")) &&
                     run.Out.contains(QStringLiteral("Pattern1")),
                 qPrintable(run.Out));
        QCOMPARE(run.Out.count(QStringLiteral("[stored")), 2);

        const RunOutput csv = RunBench({QStringLiteral("--results"), results,
                                        QStringLiteral("--export-csv"), QStringLiteral("-")});
        QCOMPARE(csv.Status, 0);
        const QStringList rows = csv.Out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QVERIFY2(csv.Out.contains(QStringLiteral(",\"SN,\"\"東京\"\" 7\",Ōta,")),
                 qPrintable(csv.Out));

        const QString pdf = Dir.filePath(QStringLiteral("summary.pdf"));
        const RunOutput summary =
            RunBench({QStringLiteral("--results"), results, QStringLiteral("--summary"),
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
        const RunOutput run = RunBench(arguments.split(QLatin1Char(' ')), 30000);
        QCOMPARE(run.Status, 64);
        QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
        QVERIFY(run.Out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBenchRound)
#include "test_bench_round.moc"
