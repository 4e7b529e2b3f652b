// The real checker with the real serial port against the simulated unit on a
// pseudo-terminal, paced at 9600 baud: connecting each ROM family, polling,
// the check procedure and the record scan, as an operator would run them.
// With ZEL_E2E_LOGS set every case runs with the line trace and the measurement
// record switched on, writing into a temporary directory.
#include "RealPortWindow.h"
#include "checks/Patterns.h"
#include "link/HexText.h"
#include "sim/SimulatedUnitHost.h"
#include "trace/LogFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

struct Bench {
    SimulatedUnitHost Unit;
    TraceLog Trace;
    RecordLog Records;
    QTemporaryDir LogDir;
    QString TracePath;
    std::unique_ptr<RealPortWindow> Window;

    bool Start(UnitFamily family, int powerOnDelayMs,
               bool logged = qEnvironmentVariableIsSet("ZEL_E2E_LOGS")) {
        QString device;
        QString error;
        if (qEnvironmentVariableIsSet("ZEL_E2E_TRACE")) {
            Unit.SetTraceSink([](const UnitTraceEvent& e) {
                std::fprintf(stderr, "%s\n", qPrintable(FormatTraceEvent(e)));
            });
        }
        if (!Unit.Start(family, 256, true, &device, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        Window = std::make_unique<RealPortWindow>(device);
        if (logged) {
            TracePath = LogDir.filePath(QStringLiteral("checker.trace"));
            if (!Trace.Open(TracePath, &error) ||
                !Records.Open(LogDir.filePath(QStringLiteral("units.csv")), &error)) {
                qWarning("%s", qPrintable(error));
                return false;
            }
            Window->Form.Trace = &Trace;
            Window->Form.Records = &Records;
        }
        Unit.PowerOn(powerOnDelayMs);
        return Window->Load();
    }
    ~Bench() {
        Window.reset();
        Unit.Stop();
    }
};

// The line's bits as the grid should show them after writing 64 hex digits.
bool GridShows(Form1& form, const QByteArray& digits) {
    for (int c = 0; c < 32; ++c) {
        const int byte = static_cast<int>(ReadHex(digits.mid(2 * c, 2)));
        for (int b = 0; b < 8; ++b) {
            const QColor want = (byte >> b) & 1 ? Colors::kRed : Colors::kWhite;
            if (form.Picture1(8 * c + b)->BackColor() != want) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void eachFamilyConnectsAtPowerOn_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("rom");
        QTest::addColumn<QList<QByteArray>>("sequence");
        QTest::newRow("LUP") << int(UnitFamily::Lup) << "LUPTAB13"
                             << QList<QByteArray>{"RING", "CONNECT", "QJD", "QND", "QRD"};
        QTest::newRow("RAV") << int(UnitFamily::Rav) << "RAV-B13"
                             << QList<QByteArray>{"RING", "CONNECT", "QND", "QRD"};
        QTest::newRow("ZEL") << int(UnitFamily::Zel) << "ZEL10-13" << QList<QByteArray>{};
    }
    void eachFamilyConnectsAtPowerOn() {
        QFETCH(int, family);
        QFETCH(QString, rom);
        QFETCH(QList<QByteArray>, sequence);
        Bench bench;
        const auto f = static_cast<UnitFamily>(family);
        // A ZEL unit says nothing of its own: it is on before the start-up request.
        QVERIFY(bench.Start(f, f == UnitFamily::Zel ? 0 : 300));
        Form1& form = bench.Window->Form;
        QTRY_VERIFY_WITH_TIMEOUT(form.State.Connected == 1, 8000);
        QVERIFY2(form.Label2(1)->Caption().startsWith(rom), qPrintable(form.Label2(1)->Caption()));
        QCOMPARE(form.Label17->BackColor(), Colors::kLightBlue);
        QCOMPARE(form.Label23->BackColor(), Colors::kLightBlue);
        // The unit saw its family's connect sequence, in order, after the version request.
        QTRY_VERIFY_WITH_TIMEOUT(bench.Unit.Connected(), 3000);
        const QList<QByteArray> seen = bench.Unit.ReceivedCommands();
        qsizetype at = seen.indexOf("QV");
        QVERIFY(at >= 0);
        for (const QByteArray& command : sequence) {
            const qsizetype next = seen.indexOf(command, at + 1);
            QVERIFY2(next > at, command.constData());
            at = next;
        }
        QVERIFY(bench.Window->Boxes.Shown.isEmpty());
    }

    void theCheckProcedureComesBackOnTheMonitor() {
        Bench bench;
        QVERIFY(bench.Start(UnitFamily::Zel, 0));
        Form1& form = bench.Window->Form;
        QTRY_VERIFY_WITH_TIMEOUT(form.State.Connected == 1, 5000);

        form.menuT240_Click();
        QTRY_COMPARE_WITH_TIMEOUT(form.Label2(2)->Caption(), QStringLiteral("256"), 3000);
        QVERIFY(!form.Picture1(255)->IsGrey());

        form.Command2_Click(2); // Pattern1
        QTRY_VERIFY_WITH_TIMEOUT(GridShows(form, Pattern1Digits()), 3000);
        form.Command2_Click(3); // Pattern2
        QTRY_VERIFY_WITH_TIMEOUT(GridShows(form, Pattern2Digits()), 3000);
        form.Command2_Click(5); // Pattern3
        QTRY_VERIFY_WITH_TIMEOUT(GridShows(form, Pattern3Digits()), 3000);
        form.Command2_Click(1); // Clear4
        QTRY_VERIFY_WITH_TIMEOUT(GridShows(form, ClearLineDigits()), 3000);
        QVERIFY(bench.Unit.LineMemory(0) == QByteArray(32, '\0'));

        // The counter is read while the bit scan carries 256 bits.
        form.Command1_Click(1);
        QTRY_VERIFY_WITH_TIMEOUT(form.Label2(5)->Caption().toInt() > 0, 3000);

        // "Stop" ends in 400 ms bit-scan polling.
        form.Command2_Click(6);
        QCOMPARE(form.State.SamplePeriod, int16_t(400));
        QCOMPARE(form.State.ScanMode, QStringLiteral("D"));
        QVERIFY(bench.Window->Boxes.Shown.isEmpty());
    }

    void theRecordScanFillsTheUnitTable() {
        Bench bench;
        QVERIFY(bench.Start(UnitFamily::Zel, 0));
        Form1& form = bench.Window->Form;
        QTRY_VERIFY_WITH_TIMEOUT(form.State.Connected == 1, 5000);
        for (int i = 0; i < 5; ++i) {
            form.Command2_Click(7); // "+" to ten records
        }
        form.menuT240_Click();
        form.Command2_Click(11); // "Auto-F"
        for (int u = 1; u <= 10; ++u) {
            QTRY_VERIFY2_WITH_TIMEOUT(
                !form.UnitRow(u)(1)->Caption().isEmpty(),
                qPrintable(
                    QStringLiteral(
                        "unit %1; Timer1 enabled %2 running %3 interval %4; mode %5 index %6")
                        .arg(u)
                        .arg(form.Timer1->Enabled())
                        .arg(form.Timer1->Running())
                        .arg(form.Timer1->Interval())
                        .arg(form.State.ScanMode)
                        .arg(form.State.RecordIndex)),
                6000);
        }
        // Records carry their own checksum: the two displays agree.
        QCOMPARE(form.Label2(12)->Caption(), form.Label2(13)->Caption());
        QVERIFY(!form.Label22(10)->Caption().isEmpty());
    }

    // The same operator steps with and without the line trace and the record
    // reach the unit as the same commands and show the same window.
    void theTraceChangesNothingOnTheLine() {
        QList<QByteArray> commands[2];
        QString counter[2];
        for (const bool logged : {false, true}) {
            Bench bench;
            QVERIFY(bench.Start(UnitFamily::Zel, 0, logged));
            Form1& form = bench.Window->Form;
            QTRY_VERIFY_WITH_TIMEOUT(form.State.Connected == 1, 5000);
            form.menuSPLstop_Click();
            QTest::qWait(500); // a poll already out gets its reply
            const qsizetype before = bench.Unit.ReceivedCommands().size();
            form.Command2_Click(2); // Pattern1
            form.Command2_Click(3); // Pattern2
            form.Command2_Click(0); // Clear4
            form.Command1_Click(1); // read the counter
            QTRY_VERIFY_WITH_TIMEOUT(form.Label2(5)->Caption().toInt() > 0, 3000);
            QTest::qWait(300);
            commands[logged] = bench.Unit.ReceivedCommands().mid(before);
            counter[logged] = form.Label2(5)->Caption();
            QVERIFY(GridShows(form, ClearLineDigits()));
            QVERIFY(bench.Window->Boxes.Shown.isEmpty());
            if (logged) {
                QFile file(bench.TracePath);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray trace = file.readAll();
                QVERIFY2(trace.contains(" checker to-unit command \"\\r\\nQG\\r\\n"), trace);
                QVERIFY2(
                    trace.contains(" checker from-unit reading counter " + counter[1].toLatin1()),
                    trace);
            }
        }
        QCOMPARE(commands[1], commands[0]);
        QCOMPARE(commands[0].size(), 4);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
