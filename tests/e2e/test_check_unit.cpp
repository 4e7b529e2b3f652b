// The automatic unit check as a production script runs it: the zel_checker
// program offscreen with --check-unit, judged by its exit status, its report,
// its stdout and stderr: one healthy simulated unit end to end, a line where no
// unit answers, a port that does not exist, a wrong command line, and output
// files that cannot be written from the start or fail while the check runs.
// (What the check makes of each kind of unit and fault is judged in the
// window, in virtual time.) The runs take several seconds each on a paced
// 9600 baud line, so they all start at once and each row waits for its own.
#include "PseudoTerminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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
    // A text its reason must hold (on stderr when no report is written); of a
    // pass, a text the report holds.
    QString Reason;
    bool ReportWritten = true;
    // A folder under the test's own that holds the run's trace; it is
    // removed once the trace has its first line.
    QString RemovedFolder = {};
};

struct Run {
    std::unique_ptr<QProcess> Unit;
    std::unique_ptr<QProcess> Process;
    QString Report;
    QElapsedTimer Clock;
};

// Bound on one run: a unit that never answers ends after the connect wait and
// one Restart (about 9 s); the runs with a healthy unit take 10 to 16 s.
// Generous for a loaded machine and for the sanitizer build.
constexpr int kRunLimitMs = 90000;

} // namespace

class TestCheckUnit : public QObject {
    Q_OBJECT
private:
    QTemporaryDir Dir;
    PtyPeer Silent; // a line nobody answers on
    std::vector<Case> Cases;
    std::map<QString, Run> Runs;

private slots:
    void initTestCase() {
        QVERIFY(Dir.isValid());
        QVERIFY(Silent.Ok());
        const QStringList lup{QStringLiteral("--simulate=LUP")};
        const QStringList rav{QStringLiteral("--simulate=RAV")};
        const QStringList zel{QStringLiteral("--simulate=ZEL")};
        const QStringList own{QStringLiteral("--port"), QStringLiteral("COM1=UNIT")};
        Cases = {
            // One healthy unit end to end, on a line of its own as a bench
            // wires a real one. The verdicts for each family and each fault
            // are judged in virtual time (test_unit_check_verdicts).
            {"healthy ZEL unit on its own line",
             own,
             {QStringLiteral("--family"), QStringLiteral("ZEL")},
             0,
             {},
             {}},
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
            {"no unit on the line",
             {QStringLiteral("--port"), QStringLiteral("COM1=") + Silent.SlaveName},
             {},
             2,
             "Connect",
             "no answer to the version request"},
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
             QStringList(lup) << "--trace=/dev/full",
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
                run.Unit = std::make_unique<QProcess>();
                run.Unit->start(QStringLiteral(ZEL_UNIT_SIM), c.Unit);
                QVERIFY(run.Unit->waitForReadyRead(10000));
                const QString device = QString::fromLocal8Bit(run.Unit->readLine()).trimmed();
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
        if (c.Status == 0) {
            QVERIFY2(json.contains(c.Reason.toUtf8()), json.constData());
        } else {
            QVERIFY2(reason.contains(c.Reason), qPrintable(reason));
        }
        if (c.Status == 0) {
            // Connect, three patterns, Clear4, the counter, the record scan, Stop.
            QCOMPARE(report[QStringLiteral("steps")].toArray().size(), 8);
            const QString family = c.Unit.isEmpty() ? c.Arguments.first().right(3) : c.Unit.at(1);
            QVERIFY(report[QStringLiteral("rom")].toString().startsWith(family));
            QVERIFY2(out.contains("PASS in "), out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestCheckUnit)
#include "test_check_unit.moc"
