// Smoke test of the bench's window, offscreen, with four simulated units:
// serial numbers typed as a barcode scanner types them (the number, then
// Enter) start the real checks on their rows at once; each verdict shows in
// colour, is kept, counts in the tally, leaves the unit's PDF sheet for the
// row to open, and the row asks for the next serial.
#include "BenchWindow.h"

#include "production/ResultsKeeper.h"
#include "production/ResultsStore.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestBenchWindow : public QObject {
    Q_OBJECT
private slots:
    void fourScannedUnitsAreCheckedKeptAndPrinted() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        struct Unit {
            QStringList Fault;
            const char* Verdict;
        };
        const QList<Unit> units{{{}, "PASS"},
                                {{}, "PASS"},
                                {{QStringLiteral("--fault"), QStringLiteral("stuck-bit=37")},
                                 "FAIL  SN-0003  Pattern1: "},
                                {{QStringLiteral("--fault"), QStringLiteral("no-counter")},
                                 "FAIL  SN-0004  24-bit counter: "}};
        std::vector<std::unique_ptr<QProcess>> sims;
        QList<BenchPort> ports;
        for (const Unit& unit : units) {
            sims.push_back(std::make_unique<QProcess>());
            sims.back()->start(QStringLiteral(ZEL_UNIT_SIM),
                               QStringList{QStringLiteral("--family"), QStringLiteral("ZEL")} +
                                   unit.Fault);
            QVERIFY(sims.back()->waitForReadyRead(10000));
            const QString device = QString::fromLocal8Bit(sims.back()->readLine()).trimmed();
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

        for (int row = 0; row < ports.size(); ++row) {
            QTest::keyClicks(window.SerialField(row), QStringLiteral("SN-000%1").arg(row + 1));
            QTest::keyClick(window.SerialField(row), Qt::Key_Return);
            QVERIFY(window.SerialField(row)->isReadOnly());
        }
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 4, 120000);
        for (int row = 0; row < ports.size(); ++row) {
            const QString state = window.RowState(row);
            QVERIFY2(state.startsWith(QLatin1String(units.at(row).Verdict)), qPrintable(state));
            QVERIFY2(state.endsWith(QStringLiteral("(stored)")), qPrintable(state));
            QVERIFY(window.SerialField(row)->text().isEmpty());
            QVERIFY(!window.SerialField(row)->isReadOnly());
            QVERIFY(window.SheetButton(row)->isEnabled());
            QVERIFY(window.SheetFile(row).startsWith(sheets));
            QVERIFY2(QFileInfo(window.SheetFile(row)).size() > 1000,
                     qPrintable(window.SheetFile(row)));
        }
        QVERIFY2(window.Tally().contains(QStringLiteral("4 units checked, 2 passed, yield 50.0 %")),
                 qPrintable(window.Tally()));
        // ZEL_BENCH_SCREENSHOT=FILE keeps a picture of the window for the README.
        if (const QString shot = qEnvironmentVariable("ZEL_BENCH_SCREENSHOT"); !shot.isEmpty()) {
            QVERIFY(window.grab().save(shot));
        }
        QVERIFY(keeper.Finish(60000));
        const QList<CheckResult> kept = ResultsStore(location, {}).Results();
        QCOMPARE(kept.size(), 4);
        QCOMPARE(kept.first().Operator, QStringLiteral("Ana"));
        for (auto& sim : sims) {
            sim->kill();
            sim->waitForFinished();
        }
    }
};

QTEST_MAIN(TestBenchWindow)
#include "test_bench_window.moc"
