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
    QStringList Arguments; // with "UNIT" for the device of the unit below
    QStringList Unit;      // zel-unit-sim's arguments, when the unit runs on its own
    int Status;            // expected exit status
    QString FailingStep;   // the first step that fails, empty when none does
    QString Reason;        // a text its reason must hold
};

struct Run {
    std::unique_ptr<QProcess> Unit;
    std::unique_ptr<QProcess> Process;
    QString Report;
    QElapsedTimer Clock;
};

// Bound on one run: a unit that never answers ends after the connect wait and
// one Restart (about 9 s); the healthy runs take 10 to 15 s, the unit powered
// on late 25 s. Generous for a loaded machine and for the sanitizer build.
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
        const QStringList own{QStringLiteral("--port"), QStringLiteral("COM1=UNIT")};
        const QStringList zel64{QStringLiteral("--family"), QStringLiteral("ZEL"),
                                QStringLiteral("--bits"), QStringLiteral("64")};
        Cases = {
            {"healthy LUP unit", lup, {}, 0, {}, {}},
            {"healthy RAV unit", rav, {}, 0, {}, {}},
            {"healthy ZEL unit", zel, {}, 0, {}, {}},
            // Cell 37 (25 in hex) is 0 in Pattern1: a bit stuck at 1 shows there first.
            {"bit stuck at 1",
             with(lup, "stuck-bit=37"),
             {},
             1,
             "Pattern1",
             "25 (read 1, written 0)"},
            // Cell 200 (C8) is 0 in Pattern1 and Pattern2; Pattern3 sets every bit.
            {"bit stuck at 0",
             with(zel, "stuck-bit=200:0"),
             {},
             1,
             "Pattern3",
             "C8 (read 0, written 1)"},
            {"bit stuck on Line3 only",
             with(rav, "stuck-bit=37@3"),
             {},
             1,
             "Pattern1",
             "Line3: bit differs at 25 (read 1, written 0)"},
            {"no counter",
             with(rav, "no-counter"),
             {},
             1,
             "24-bit counter",
             "refused the counter request"},
            // Every second reply is damaged; the version reply is the first.
            {"bad checksums", with(zel, "bad-checksum=50"), {}, 1, "Connect", "checksum error"},
            {"spoiled version reply",
             with(lup, "spoil-first=QV"),
             {},
             1,
             "Connect",
             "checksum error"},
            {"a counter reply without its LF",
             with(zel, "drop-lf-first=QG"),
             {},
             1,
             "24-bit counter",
             "no LF after the CR"},
            {"another ROM than the bench expects",
             QStringList(lup) << QStringLiteral("--expect-rom") << QStringLiteral("LUPTAB99"),
             {},
             1,
             "Connect",
             "the unit names ROM LUPTAB13, the bench expects LUPTAB99"},
            {"a 64-bit unit", own, zel64, 1, "Connect", "the unit scans 64 bits"},
            {"a 64-bit unit where the bench expects one",
             QStringList(own) << QStringLiteral("--expect-bits") << QStringLiteral("64"),
             zel64,
             0,
             {},
             {}},
            {"a unit powered on 10 s after the start",
             QStringList(own) << QStringLiteral("--wait-for-unit") << QStringLiteral("20"),
             {QStringLiteral("--family"), QStringLiteral("ZEL"), QStringLiteral("--power-on-delay"),
              QStringLiteral("10000")},
             0,
             {},
             {}},
            // The unit restarts at the first counter request; the step runs
            // again once it has named its ROM, and the report says why.
            {"a unit that restarts during a step",
             with(lup, "restart-on=QG"),
             {},
             0,
             {},
             "run again after the unit's modem set-up"},
            {"a unit that restarts, then fails the step again",
             with(with(lup, "restart-on=QG"), "no-counter"),
             {},
             1,
             "24-bit counter",
             "the unit ran its modem set-up (\"AT&F\") during the step; run again: the unit "
             "refused the counter request"},
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
             "could not be opened"},
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
            run.Process->start(QStringLiteral(ZEL_CHECKER),
                               arguments << QStringLiteral("--check-unit")
                                         << QStringLiteral("--report") << run.Report);
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
        if (run.Unit) {
            run.Unit->kill();
            run.Unit->waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(TestCheckUnit)
#include "test_check_unit.moc"
