// Smoke test of the bench's window, offscreen: a serial number typed as a
// barcode scanner types it (the number, then Enter) starts the real check on
// that row against a simulated unit; the verdict shows in colour, is kept,
// counts in the tally, and the row asks for the next serial.
#include "BenchWindow.h"

#include "production/ResultsStore.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBenchWindow : public QObject {
    Q_OBJECT
private slots:
    void scannedSerialIsCheckedAndKept() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess unit;
        unit.start(QStringLiteral(ZEL_UNIT_SIM),
                   {QStringLiteral("--family"), QStringLiteral("ZEL")});
        QVERIFY(unit.waitForReadyRead(10000));
        const QString device = QString::fromLocal8Bit(unit.readLine()).trimmed();

        ResultsLocation location;
        location.File = dir.filePath(QStringLiteral("results.sqlite"));
        ResultsStore store(location, {});
        CheckRequest profile;
        profile.Operator = QStringLiteral("Ana");
        const QList<BenchPort> ports{{QStringLiteral("COM1"), device, {}},
                                     {QStringLiteral("COM2"), QStringLiteral("/dev/null"), {}}};
        BenchWindow window(ports, profile, QStringLiteral(ZEL_CHECKER), dir.path(), &store);
        window.show();
        QVERIFY(window.RowState(0).contains(QStringLiteral("scan the serial")));
        QSignalSpy shown(&window, &BenchWindow::ResultShown);

        QTest::keyClicks(window.SerialField(0), QStringLiteral("SN-0412"));
        QTest::keyClick(window.SerialField(0), Qt::Key_Return);
        QVERIFY(window.SerialField(0)->isReadOnly());
        QVERIFY(shown.wait(120000));
        QVERIFY2(window.RowState(0).startsWith(QStringLiteral("PASS  SN-0412")),
                 qPrintable(window.RowState(0)));
        QVERIFY(window.RowState(0).endsWith(QStringLiteral("(stored)")));
        QVERIFY(window.SerialField(0)->text().isEmpty());
        QVERIFY(!window.SerialField(0)->isReadOnly());
        QVERIFY(
            window.Tally().contains(QStringLiteral("1 units checked, 1 passed, yield 100.0 %")));
        // The other row never started.
        QVERIFY(window.RowState(1).contains(QStringLiteral("scan the serial")));
        // ZEL_BENCH_SCREENSHOT=FILE keeps a picture of the window for the README.
        if (const QString shot = qEnvironmentVariable("ZEL_BENCH_SCREENSHOT"); !shot.isEmpty()) {
            QVERIFY(window.grab().save(shot));
        }
        const QList<CheckResult> kept = store.Results();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.first().Serial, QStringLiteral("SN-0412"));
        QCOMPARE(kept.first().Operator, QStringLiteral("Ana"));
        unit.kill();
        unit.waitForFinished();
    }
};

QTEST_MAIN(TestBenchWindow)
#include "test_bench_window.moc"
