// Whole unit checks by the real zel_checker program on paced 9600 baud lines,
// run side by side as a production line runs them; each takes seconds, so
// they all start at once and each case waits for its own.
//
// The bench window's round, offscreen: four simulated units and a line nobody
// answers on, each checked on its row through the bench's check runner. The
// bench's other tests use a stand-in checker.
//
// The production script's runs: the program offscreen with --check-unit,
// judged by its exit status, its report, its stdout and stderr: the bench's
// expectations on the command line, a port that does not exist, a wrong
// command line, and output files that cannot be written from the start or
// fail while a healthy unit's check runs. (What the check makes of each kind
// of unit and fault is judged in the window, in virtual time.)
#include "BenchWindow.h"
#include "PseudoTerminal.h"
#include "SimulatedUnitProcess.h"

#include "production/CheckRunner.h"
#include "production/ResultsKeeper.h"
#include "production/ResultsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace {

struct Case {
    const char* Name;
    QStringList Arguments; // with "UNIT" for the device of the unit below
    QStringList Unit;      // zel-unit-sim's arguments, when the unit runs on its own
    int Status;            // expected exit status
    QString FailingStep;   // the first step that fails, empty when none does
    // A text its reason must hold (on stderr when no report is written).
    QString Reason;
    bool ReportWritten = true;
    // A folder under the test's own that holds the run's trace; it is
    // removed once the trace has its first line.
    QString RemovedFolder = {};
};

struct Run {
    std::unique_ptr<SimulatedUnitProcess> Unit;
    std::unique_ptr<QProcess> Process;
    QString Report;
    QElapsedTimer Clock;
};

// Bound on one run: each ends within a few seconds. Generous for a loaded
// machine and for the sanitizer build.
constexpr int kRunLimitMs = 90000;

} // namespace

class TestRealChecks : public QObject {
    Q_OBJECT
private:
    QTemporaryDir Dir;
    std::vector<Case> Cases;
    std::map<QString, Run> Runs;

private slots:
    void initTestCase() {
        QVERIFY(Dir.isValid());
        const QStringList lup{QStringLiteral("--simulate=LUP")};
        const QStringList rav{QStringLiteral("--simulate=RAV")};
        const QStringList zel{QStringLiteral("--simulate=ZEL")};
        const QStringList own{QStringLiteral("--port"), QStringLiteral("COM1=UNIT")};
        Cases = {
            // The bench's expectations on the command line reach the check:
            // each one, unmet, is named in the verdict.
            {"expectations from the command line",
             QStringList(own) << QStringLiteral("--expect-rom") << QStringLiteral("LUPTAB99")
                              << QStringLiteral("--expect-bits") << QStringLiteral("64")
                              << QStringLiteral("--wait-for-unit") << QStringLiteral("20"),
             {QStringLiteral("--family"), QStringLiteral("ZEL")},
             1,
             "Connect",
             "the unit names ROM ZEL10-13, the bench expects LUPTAB99; the unit scans 256 bits; "
             "the bench expects 64"},
            {"no such port",
             {QStringLiteral("--port"), QStringLiteral("COM1=/dev/zel-no-such-port")},
             {},
             2,
             "Connect",
             "the port could not be opened: does not exist"},
            {"a bad value",
             QStringList(lup) << "--expect-bits"
                              << "100",
             {},
             64,
             {},
             "--expect-bits: expected 32, 64, 128 or 256, got \"100\"",
             false},
            // The trace fails with its first line; the unit itself passes.
            {"trace on a full device",
             QStringList(zel) << "--trace=/dev/full",
             {},
             74,
             "Output files",
             "cannot write /dev/full: No space left on device"},
            {"trace folder removed during the check",
             QStringList(zel) << "--trace" << Dir.filePath("doomed/line.trace"),
             {},
             74,
             "Output files",
             "the file or its folder was removed",
             true,
             "doomed"},
            {"record on a full device",
             QStringList(rav) << "--record"
                              << "/dev/full",
             {},
             74,
             {},
             "--record: cannot write /dev/full: No space left on device",
             false},
            {"report on a full device",
             QStringList(rav) << "--report"
                              << "/dev/full",
             {},
             74,
             {},
             "--report: cannot write /dev/full: No space left on device",
             false},
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const Case& c : Cases) {
            Run& run = Runs[QString::fromLatin1(c.Name)];
            run.Report = Dir.filePath(QString::fromLatin1(c.Name).replace(' ', '_') + ".json");
            QStringList arguments = c.Arguments;
            if (!c.Unit.isEmpty()) {
                // zel-unit-sim prints the pseudo-terminal it plays the unit on.
                run.Unit =
                    std::make_unique<SimulatedUnitProcess>(QStringLiteral(ZEL_UNIT_SIM), c.Unit);
                QVERIFY(!run.Unit->Device.isEmpty());
                const QString device = run.Unit->Device;
                arguments.replaceInStrings(QStringLiteral("UNIT"), device);
            }
            run.Process = std::make_unique<QProcess>();
            run.Process->setProcessEnvironment(environment);
            if (!c.RemovedFolder.isEmpty()) {
                QVERIFY(QDir(Dir.path()).mkdir(c.RemovedFolder));
            }
            arguments << QStringLiteral("--check-unit");
            if (!arguments.contains(QStringLiteral("--report"))) {
                arguments << QStringLiteral("--report") << run.Report;
            }
            run.Process->start(QStringLiteral(ZEL_CHECKER), arguments);
            run.Clock.start();
        }
        // The folders go while their checks still wait for the unit.
        for (const Case& c : Cases) {
            if (!c.RemovedFolder.isEmpty()) {
                const QString folder = Dir.filePath(c.RemovedFolder);
                QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + "/line.trace").size() > 0, kRunLimitMs);
                QVERIFY(QDir(folder).removeRecursively());
            }
        }
    }

    // The bench window's round, while the script's runs go on: serial
    // numbers typed as a barcode scanner types them (the number, then Enter)
    // start the checks on their rows at once and side by side; the steps
    // show as they begin; each verdict shows in colour with its step and
    // reason, is kept with the checker's whole report, counts in the tally,
    // leaves the unit's PDF sheet for the row to open, and the row asks for
    // the next serial.
    void theBenchWindowChecksFiveAdaptersSideBySide() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        struct Unit {
            QStringList Sim; // zel-unit-sim's arguments; empty: the silent line
            const char* Verdict;
            const char* Rom; // what a passed unit's report names
        };
        const QList<Unit> units{
            {{QStringLiteral("--family"), QStringLiteral("ZEL")}, "PASS  SN-0001", "ZEL10-13"},
            {{QStringLiteral("--family"), QStringLiteral("LUP")}, "PASS  SN-0002", "LUPTAB13"},
            {{QStringLiteral("--family"), QStringLiteral("ZEL"), QStringLiteral("--fault"),
              QStringLiteral("stuck-bit=37")},
             "FAIL  SN-0003  Pattern1: Line1: bit differs at 25 (read 1, written 0)",
             ""},
            {{QStringLiteral("--family"), QStringLiteral("RAV"), QStringLiteral("--fault"),
              QStringLiteral("no-counter")},
             "FAIL  SN-0004  24-bit counter: ",
             ""},
            {{}, "NO UNIT  SN-0005  Connect: no answer to the version request", ""}};
        PtyPeer silent;
        QVERIFY(silent.Ok());
        std::vector<std::unique_ptr<SimulatedUnitProcess>> sims;
        QList<BenchPort> ports;
        for (const Unit& unit : units) {
            QString device = silent.SlaveName;
            if (!unit.Sim.isEmpty()) {
                sims.push_back(
                    std::make_unique<SimulatedUnitProcess>(QStringLiteral(ZEL_UNIT_SIM), unit.Sim));
                device = sims.back()->Device;
                QVERIFY(!device.isEmpty());
            }
            ports.append({QStringLiteral("COM%1").arg(ports.size() + 1), device, {}});
        }

        ResultsLocation location;
        location.File = dir.filePath(QStringLiteral("results.sqlite"));
        ResultsKeeper keeper(location, {});
        CheckRequest profile;
        profile.Operator = QStringLiteral("Ana");
        const QString sheets = dir.filePath(QStringLiteral("sheets"));
        BenchWindow window(ports, profile, QStringLiteral(ZEL_CHECKER), dir.path(), &keeper,
                           sheets);
        window.show();
        QVERIFY(window.RowState(0).contains(QStringLiteral("scan the serial")));
        QVERIFY(!window.SheetButton(0)->isEnabled());
        QSignalSpy shown(&window, &BenchWindow::ResultShown);
        // The steps each row's check reports as they begin.
        const QList<CheckRunner*> runners = window.findChildren<CheckRunner*>();
        QCOMPARE(runners.size(), ports.size());
        std::vector<QStringList> steps(static_cast<std::size_t>(ports.size()));
        for (int row = 0; row < ports.size(); ++row) {
            connect(runners.at(row), &CheckRunner::StepBegins, this,
                    [&steps, row](const QString& step) {
                        steps[static_cast<std::size_t>(row)] << step;
                    });
        }

        QElapsedTimer round;
        round.start();
        for (int row = 0; row < ports.size(); ++row) {
            QTest::keyClicks(window.SerialField(row), QStringLiteral("SN-000%1").arg(row + 1));
            QTest::keyClick(window.SerialField(row), Qt::Key_Return);
            QVERIFY(window.SerialField(row)->isReadOnly());
        }
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), ports.size(), 120000);
        const qint64 roundMs = round.elapsed();
        qint64 checksMs = 0;
        for (int row = 0; row < ports.size(); ++row) {
            const QString state = window.RowState(row);
            QVERIFY2(state.startsWith(QLatin1String(units.at(row).Verdict)), qPrintable(state));
            const QStringList& seen = steps[static_cast<std::size_t>(row)];
            if (units.at(row).Sim.isEmpty()) {
                QCOMPARE(seen, QStringList{QStringLiteral("Connect")});
            } else {
                QVERIFY2(seen.mid(0, 2) ==
                             (QStringList{QStringLiteral("Connect"), QStringLiteral("Pattern1")}),
                         qPrintable(seen.join(' ')));
            }
            QVERIFY2(state.endsWith(QStringLiteral("(stored)")), qPrintable(state));
            QVERIFY(window.SerialField(row)->text().isEmpty());
            QVERIFY(!window.SerialField(row)->isReadOnly());
            QVERIFY(window.SheetButton(row)->isEnabled());
            QVERIFY(window.SheetFile(row).startsWith(sheets));
            QVERIFY2(QFileInfo(window.SheetFile(row)).size() > 1000,
                     qPrintable(window.SheetFile(row)));
        }
        for (const QVariantList& signal : shown) {
            checksMs += signal.first().value<CheckResult>().Ms;
        }
        qInfo("round of %lld adapters: %lld ms; the checks took %lld ms together",
              static_cast<long long>(ports.size()), roundMs, checksMs);
        QVERIFY2(roundMs < checksMs, "the checks ran one after the other");
        QVERIFY2(window.Tally().contains(QStringLiteral("5 units checked, 2 passed, yield 40.0 %")),
                 qPrintable(window.Tally()));
        // ZEL_BENCH_SCREENSHOT=FILE keeps a picture of the window for the README.
        if (const QString shot = qEnvironmentVariable("ZEL_BENCH_SCREENSHOT"); !shot.isEmpty()) {
            QVERIFY(window.grab().save(shot));
        }
        QVERIFY(keeper.Finish(60000));
        const QList<CheckResult> kept = ResultsStore(location, {}).Results();
        QCOMPARE(kept.size(), 5);
        for (const CheckResult& r : kept) {
            QCOMPARE(r.Operator, QStringLiteral("Ana"));
            QVERIFY2(r.CheckerVersion.startsWith(QStringLiteral("zel_checker ")),
                     qPrintable(r.CheckerVersion));
            if (r.Verdict == QLatin1String("PASS")) {
                // The checker's whole report: all eight steps, the unit's ROM.
                const QJsonObject report = QJsonDocument::fromJson(r.ReportJson).object();
                QCOMPARE(report[QStringLiteral("steps")].toArray().size(), 8);
                const char* rom = units.at(r.Port.mid(3).toInt() - 1).Rom;
                QVERIFY2(r.Rom.startsWith(QLatin1String(rom)), qPrintable(r.Rom));
            }
        }
    }
    void cleanupTestCase() {
        // A run still going was not judged; the units go with their runs.
        for (auto& [name, run] : Runs) {
            if (run.Process != nullptr) {
                run.Process->kill();
                run.Process->waitForFinished();
            }
        }
    }

    void eachRunEndsWithItsVerdict_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < static_cast<int>(Cases.size()); ++i) {
            QTest::newRow(Cases[static_cast<std::size_t>(i)].Name) << i;
        }
    }
    void eachRunEndsWithItsVerdict() {
        QFETCH(int, index);
        const Case& c = Cases[static_cast<std::size_t>(index)];
        Run& run = Runs[QString::fromLatin1(c.Name)];
        const int left = kRunLimitMs - static_cast<int>(run.Clock.elapsed());
        // A refusal ends the run at once, often before its row comes.
        QVERIFY2(run.Process->state() == QProcess::NotRunning ||
                     run.Process->waitForFinished(std::max(left, 1)),
                 "the check did not end");
        const QByteArray out = run.Process->readAllStandardOutput();
        const QByteArray err = run.Process->readAllStandardError();
        const QByteArray both = "stdout:\n" + out + "stderr:\n" + err;
        QCOMPARE(run.Process->exitStatus(), QProcess::NormalExit);
        QVERIFY2(run.Process->exitCode() == c.Status, both.constData());
        if (!c.ReportWritten) {
            QVERIFY2(err.contains(c.Reason.toUtf8()), both.constData());
            QVERIFY(QFileInfo(run.Report).size() == 0);
            return;
        }

        QFile file(run.Report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray json = file.readAll();
        const QJsonObject report = QJsonDocument::fromJson(json).object();
        QCOMPARE(report[QStringLiteral("exit_status")].toInt(), c.Status);
        QString failing;
        QString reason;
        for (const QJsonValue& value : report[QStringLiteral("steps")].toArray()) {
            const QJsonObject step = value.toObject();
            if (step[QStringLiteral("result")].toString() == QLatin1String("FAIL")) {
                failing = step[QStringLiteral("step")].toString();
                reason = step[QStringLiteral("reason")].toString();
                break;
            }
        }
        QVERIFY2(failing == c.FailingStep, both.constData());
        QVERIFY2(reason.contains(c.Reason), qPrintable(reason));
        // The verdict line a script reads, as the report has it.
        const QByteArray verdict = report[QStringLiteral("result")].toString().toUtf8();
        QVERIFY2(!verdict.isEmpty() && out.contains(verdict + " in "), both.constData());
    }
};

QTEST_MAIN(TestRealChecks)
#include "test_real_checks.moc"
