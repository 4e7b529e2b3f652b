// The automatic unit check's verdicts, run in the window in virtual time
// against the simulated unit stepped as on its pseudo-terminal: the healthy
// unit of each family, each fault the unit can be built with, a unit of
// another size or ROM than the bench expects, a unit powered on late and one
// never powered on. Each row is judged by its exit status, the first step
// that fails and that step's reason, as a bench script reads the report.
#include "FormFixture.h"
#include "VirtualUnit.h"
#include "checks/UnitCheck.h"
#include "sim/UnitTypes.h"

#include <QTest>

namespace {

constexpr int kNeverOn = -1;
// As the checker's --simulate powers its unit: a ZEL unit before the window
// starts, LUP and RAV a moment after, so that the window sees their modem
// set-up.
constexpr int kZelOnMs = 0;
constexpr int kModemFamilyOnMs = 800;

struct Verdict {
    const char* Name;
    UnitFamily Family;
    QStringList Faults; // as --sim-fault takes them
    int PowerOnMs;      // after the window's start, or kNeverOn
    UnitCheckOptions Options;
    int Status;
    QString FailingStep; // empty when none fails
    // A text the failing step's reason holds; of a pass, a text the report
    // holds.
    QString Reason;
    int ScanBits = 256;
};

UnitCheckOptions ExpectRom(const char* rom) {
    UnitCheckOptions options;
    options.ExpectRom = QString::fromLatin1(rom);
    return options;
}
UnitCheckOptions ExpectBits(int bits) {
    UnitCheckOptions options;
    options.ExpectBits = bits;
    return options;
}
UnitCheckOptions WaitForUnit(int seconds) {
    UnitCheckOptions options;
    options.WaitForUnitS = seconds;
    return options;
}

const std::vector<Verdict>& Verdicts() {
    static const std::vector<Verdict> rows = {
        {"healthy LUP unit", UnitFamily::Lup, {}, kModemFamilyOnMs, {}, 0, {}, {}},
        {"healthy RAV unit", UnitFamily::Rav, {}, kModemFamilyOnMs, {}, 0, {}, {}},
        {"healthy ZEL unit", UnitFamily::Zel, {}, kZelOnMs, {}, 0, {}, {}},
        // Cell 37 (25 in hex) is 0 in Pattern1: a bit stuck at 1 shows there first.
        {"bit stuck at 1",
         UnitFamily::Lup,
         {"stuck-bit=37"},
         kModemFamilyOnMs,
         {},
         1,
         "Pattern1",
         "25 (read 1, written 0)"},
        // Cell 200 (C8) is 0 in Pattern1 and Pattern2; Pattern3 sets every bit.
        {"bit stuck at 0",
         UnitFamily::Zel,
         {"stuck-bit=200:0"},
         kZelOnMs,
         {},
         1,
         "Pattern3",
         "C8 (read 0, written 1)"},
        {"bit stuck on Line3 only",
         UnitFamily::Rav,
         {"stuck-bit=37@3"},
         kModemFamilyOnMs,
         {},
         1,
         "Pattern1",
         "Line3: bit differs at 25 (read 1, written 0)"},
        {"no counter",
         UnitFamily::Rav,
         {"no-counter"},
         kModemFamilyOnMs,
         {},
         1,
         "24-bit counter",
         "refused the counter request"},
        // Every second reply is damaged; the version reply is the first.
        {"bad checksums",
         UnitFamily::Zel,
         {"bad-checksum=50"},
         kZelOnMs,
         {},
         1,
         "Connect",
         "checksum error"},
        {"spoiled version reply",
         UnitFamily::Lup,
         {"spoil-first=QV"},
         kModemFamilyOnMs,
         {},
         1,
         "Connect",
         "checksum error"},
        {"a counter reply without its LF",
         UnitFamily::Zel,
         {"drop-lf-first=QG"},
         kZelOnMs,
         {},
         1,
         "24-bit counter",
         "no LF after the CR"},
        {"another ROM than the bench expects",
         UnitFamily::Lup,
         {},
         kModemFamilyOnMs,
         ExpectRom("LUPTAB99"),
         1,
         "Connect",
         "the unit names ROM LUPTAB13, the bench expects LUPTAB99"},
        {"a 64-bit unit",
         UnitFamily::Zel,
         {},
         kZelOnMs,
         {},
         1,
         "Connect",
         "the unit scans 64 bits",
         64},
        {"a 64-bit unit where the bench expects one",
         UnitFamily::Zel,
         {},
         kZelOnMs,
         ExpectBits(64),
         0,
         {},
         {},
         64},
        {"a unit powered on 10 s after the start",
         UnitFamily::Zel,
         {},
         10000,
         WaitForUnit(20),
         0,
         {},
         {}},
        // The bench's wait ends first: no unit, however healthy it comes up later.
        {"a unit powered on after the bench's wait",
         UnitFamily::Zel,
         {},
         10000,
         {},
         2,
         "Connect",
         "no answer to the version request, also after Restart"},
        // The unit restarts at the first counter request; the step runs
        // again once it has named its ROM, and the report says why.
        {"a unit that restarts during a step",
         UnitFamily::Lup,
         {"restart-on=QG"},
         kModemFamilyOnMs,
         {},
         0,
         {},
         "run again after the unit's modem set-up"},
        {"a unit that restarts, then fails the step again",
         UnitFamily::Lup,
         {"restart-on=QG", "no-counter"},
         kModemFamilyOnMs,
         {},
         1,
         "24-bit counter",
         "the unit ran its modem set-up (\"AT&F\") during the step; run again: the unit "
         "refused the counter request"},
        {"a unit never powered on",
         UnitFamily::Zel,
         {},
         kNeverOn,
         {},
         2,
         "Connect",
         "no answer to the version request"},
    };
    return rows;
}

} // namespace

class TestUnitCheckVerdicts : public QObject {
    Q_OBJECT
private slots:
    void eachUnitGetsItsVerdict_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < static_cast<int>(Verdicts().size()); ++i) {
            QTest::newRow(Verdicts()[static_cast<std::size_t>(i)].Name) << i;
        }
    }
    void eachUnitGetsItsVerdict() {
        QFETCH(int, index);
        const Verdict& row = Verdicts()[static_cast<std::size_t>(index)];
        UnitConfig config;
        config.Family = row.Family;
        config.ScanBits = row.ScanBits;
        for (const QString& fault : row.Faults) {
            QString error;
            QVERIFY2(ParseUnitFault(fault, &config.Faults, &error), qPrintable(error));
        }

        FormFixture f(false);
        VirtualUnit unit(f.Clock, f.Serial, config);
        // The check watches the line from the window's first byte on.
        UnitCheck check(*f.Form, QStringLiteral("zel_checker test"), nullptr, row.Options);
        if (row.PowerOnMs != kNeverOn) {
            unit.PowerOn(row.PowerOnMs);
        }
        f->Form_Load();
        check.Run();

        const CheckReport& report = check.Report();
        const QByteArray json = ReportJson(report);
        const QByteArray seen = "report:\n" + json + "\nunit:\n" + unit.TraceText().toUtf8();
        QVERIFY2(check.ExitStatus() == row.Status, seen.constData());
        QString failing;
        QString reason;
        for (const StepReport& step : report.Steps) {
            if (step.Result == StepResult::Fail) {
                failing = step.Name;
                reason = step.Reason;
                break;
            }
        }
        QVERIFY2(failing == row.FailingStep, seen.constData());
        if (row.Status != 0) {
            QVERIFY2(reason.contains(row.Reason), qPrintable(reason));
        } else {
            QVERIFY2(json.contains(row.Reason.toUtf8()), json.constData());
            // Connect, three patterns, Clear4, the counter, the record scan, Stop.
            QCOMPARE(report.Steps.size(), 8);
            QVERIFY(report.Rom.startsWith(UnitFamilyName(row.Family)));
            QVERIFY(ReportText(report).contains(QStringLiteral("PASS in ")));
        }
        if (report.UnitAnswered) {
            // Not before it was on.
            QVERIFY(report.Ms >= row.PowerOnMs);
        }
        // The verdict is shown, and the window goes through its stop sequence.
        QVERIFY(!f.Boxes.Shown.isEmpty());
        QVERIFY(f->Closing());
    }
};

QTEST_MAIN(TestUnitCheckVerdicts)
#include "test_unit_check_verdicts.moc"
