// The automatic unit check as a production script runs it: the zel_checker
// program offscreen with --check-unit against simulated units, healthy and
// with faults, against a line where no unit answers and against a port that
// does not exist, with a wrong command line, and with output files that
// cannot be written from the start or fail while the check runs. The runs take several seconds each
// on a paced 9600 baud line, so they all start at once and each row waits for its own.
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
    QStringList Arguments;
    int Status;          // expected exit status
    QString FailingStep; // the first step that fails, empty when none does
    QString Reason;      // a text its reason must hold; on stderr when no report is written
    bool ReportWritten = true;
    // A folder under the test's own that holds the run's trace; it is
    // removed once the trace has its first line.
    QString RemovedFolder = {};
};

struct Run {
    std::unique_ptr<QProcess> Process;
    QString Report;
    QElapsedTimer Clock;
};

// Bound on one run: a unit that never answers ends after the connect wait and
// one Restart (about 9 s); the healthy runs take 6 to 10 s. Generous for a
// loaded machine and for the sanitizer build.
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
        const auto with = [](QStringList arguments, const char* fault) {
            return arguments << QStringLiteral("--sim-fault") << QString::fromLatin1(fault);
        };
        Cases = {
            {"healthy LUP unit", lup, 0, {}, {}},
            {"healthy RAV unit", rav, 0, {}, {}},
            {"healthy ZEL unit", zel, 0, {}, {}},
            // Cell 37 (25 in hex) is 0 in Pattern1: a bit stuck at 1 shows there first.
            {"bit stuck at 1", with(lup, "stuck-bit=37"), 1, "Pattern1", "25 (read 1, written 0)"},
            // Cell 200 (C8) is 0 in Pattern1 and Pattern2; Pattern3 sets every bit.
            {"bit stuck at 0", with(zel, "stuck-bit=200:0"), 1, "Pattern3",
             "C8 (read 0, written 1)"},
            {"no counter", with(rav, "no-counter"), 1, "24-bit counter",
             "refused the counter request"},
            // Every second reply is damaged; the version reply is the first.
            {"bad checksums", with(zel, "bad-checksum=50"), 1, "Pattern1", "checksum error"},
            {"no unit on the line",
             {QStringLiteral("--port"), QStringLiteral("COM1=") + Silent.SlaveName},
             2,
             "Connect",
             "no answer to the version request"},
            {"no such port",
             {QStringLiteral("--port"), QStringLiteral("COM1=/dev/zel-no-such-port")},
             2,
             "Connect",
             "the port could not be opened: does not exist"},
            {"a bad value",
             QStringList(lup) << "--expect-bits"
                              << "100",
             64,
             {},
             "--expect-bits: expected 32, 64, 128 or 256, got \"100\"",
             false},
            // The trace fails with its first line; the unit itself passes.
            {"trace on a full device", QStringList(lup) << "--trace=/dev/full", 74, "Output files",
             "cannot write /dev/full: No space left on device"},
            {"trace folder removed during the check",
             QStringList(zel) << "--trace" << Dir.filePath("doomed/line.trace"), 74, "Output files",
             "the file or its folder was removed", true, "doomed"},
            {"record on a full device",
             QStringList(rav) << "--record"
                              << "/dev/full",
             74,
             {},
             "--record: cannot write /dev/full: No space left on device",
             false},
            {"report on a full device",
             QStringList(rav) << "--report"
                              << "/dev/full",
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
            run.Process = std::make_unique<QProcess>();
            run.Process->setProcessEnvironment(environment);
            if (!c.RemovedFolder.isEmpty()) {
                QVERIFY(QDir(Dir.path()).mkdir(c.RemovedFolder));
            }
            QStringList arguments = QStringList(c.Arguments) << QStringLiteral("--check-unit");
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
        const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
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
        if (c.Status == 0) {
            // Connect, three patterns, Clear4, the counter, the record scan, Stop.
            QCOMPARE(report[QStringLiteral("steps")].toArray().size(), 8);
            QVERIFY(
                report[QStringLiteral("rom")].toString().startsWith(c.Arguments.first().right(3)));
            QVERIFY2(out.contains("PASS in "), out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestCheckUnit)
#include "test_check_unit.moc"
