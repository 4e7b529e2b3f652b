// The automatic unit check as a production script runs it: the zel_checker
// program offscreen with --check-unit against simulated units, healthy and
// with faults, against a line where no unit answers and against a port that
// does not exist. The runs take several seconds each on a paced 9600 baud
// line, so they all start at once and each row waits for its own.
#include "PseudoTerminal.h"

#include <QElapsedTimer>
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
    QString Reason;      // a text its reason must hold
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
             "could not be opened"},
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const Case& c : Cases) {
            Run& run = Runs[QString::fromLatin1(c.Name)];
            run.Report = Dir.filePath(QString::fromLatin1(c.Name).replace(' ', '_') + ".json");
            run.Process = std::make_unique<QProcess>();
            run.Process->setProcessEnvironment(environment);
            run.Process->start(QStringLiteral(ZEL_CHECKER), QStringList(c.Arguments)
                                                                << QStringLiteral("--check-unit")
                                                                << QStringLiteral("--report")
                                                                << run.Report);
            run.Clock.start();
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
        QVERIFY2(run.Process->waitForFinished(std::max(left, 1)), "the check did not end");
        const QByteArray out = run.Process->readAllStandardOutput();
        const QByteArray err = run.Process->readAllStandardError();
        const QByteArray both = "stdout:\n" + out + "stderr:\n" + err;
        QCOMPARE(run.Process->exitStatus(), QProcess::NormalExit);
        QVERIFY2(run.Process->exitCode() == c.Status, both.constData());

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
