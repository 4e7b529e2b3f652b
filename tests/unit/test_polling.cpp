// Polling: the poll each tick sends by read command and scan mode, the record
// index cycle, the period handlers with their marks and captions, and the two
// toggles on the information panel that work apart from the menu.
#include "UnitTestHelpers.h"

using namespace UnitTest;

namespace {

struct PeriodItem {
    const char* Name;
    int Period;
};
const PeriodItem kPeriodItems[] = {{"menuT240", 240},   {"menuT400", 400},   {"menuT700", 700},
                                   {"menuT1000", 1000}, {"menuT2000", 2000}, {"menuT4000", 4000}};

MenuItem* Item(FormFixture& f, const QString& name) {
    return f->findChild<MenuItem*>(name);
}

// Marks, captions, period and timer as the chosen period (0 = stopped) shows them.
void ExpectPeriod(FormFixture& f, int period) {
    QCOMPARE(Item(f, "menuSPLstop")->isChecked(), period == 0);
    for (const PeriodItem& item : kPeriodItems) {
        QCOMPARE(Item(f, item.Name)->isChecked(), item.Period == period);
    }
    QCOMPARE(f->Label2(10)->Caption(),
             period == 0 ? QStringLiteral("停止") : QStringLiteral("自動"));
    QCOMPARE(f->Label2(11)->Caption(), period == 0 ? QString() : QString::number(period));
    QCOMPARE(int(f.State().SamplePeriod), period);
    QCOMPARE(f->Timer1->Interval(), period);
    QCOMPARE(f->Timer1->Enabled(), period != 0);
    QCOMPARE(f->Timer1->Running(), period != 0);
}

} // namespace

class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void eachTickSendsThePollOfTheModes_data() {
        QTest::addColumn<int>("readCommand");
        QTest::addColumn<QString>("scanMode");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("counted");
        const QByteArray none;
        QTest::newRow("bit scan line 1")
            << 0 << "D" << 0 << QByteArray::fromHex("0d0a5142300d0a4631") << 9;
        QTest::newRow("bit scan line 3")
            << 0 << "D" << 2 << QByteArray::fromHex("0d0a5142320d0a4633") << 9;
        QTest::newRow("bit scan line 4")
            << 0 << "D" << 3 << QByteArray::fromHex("0d0a5142330d0a4634") << 9;
        QTest::newRow("record scan")
            << 0 << "F" << 1 << QByteArray::fromHex("0d0a51663030310d0a3736") << 0;
        QTest::newRow("Q_Command, D")
            << 1 << "D" << 0 << QByteArray::fromHex("0d0a51410d0a4330") << 8;
        QTest::newRow("Q_Command, F")
            << 1 << "F" << 2 << QByteArray::fromHex("0d0a51410d0a4330") << 8;
        QTest::newRow("unknown scan mode") << 0 << "X" << 0 << none << 0;
    }
    void eachTickSendsThePollOfTheModes() {
        QFETCH(int, readCommand);
        QFETCH(QString, scanMode);
        QFETCH(int, line);
        QFETCH(QByteArray, bytes);
        QFETCH(int, counted);
        FormFixture f;
        f.Serial.ClearWrites();
        f.State().ReadCommandMode = static_cast<int16_t>(readCommand);
        f.State().ScanMode = scanMode;
        f.State().ScanLine = static_cast<int16_t>(line);
        f.State().ByteCount = 0;
        f->Timer1_Timer();
        QCOMPARE(f.Serial.Sent(), bytes.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{bytes});
        QCOMPARE(int(f.State().ByteCount), counted);
        // Only the record scan moves the record index on.
        QCOMPARE(int(f.State().RecordIndex), readCommand == 0 && scanMode == "F" ? 2 : 1);
    }

    void theRecordIndexCyclesUpToScanMax_data() {
        QTest::addColumn<int>("scanMax");
        QTest::addColumn<int>("shrinkAfter"); // polls before ScanMax drops to 3; -1 never
        QTest::addColumn<QStringList>("indices");
        QTest::newRow("ScanMax 5")
            << 5 << -1 << QStringList{"01", "02", "03", "04", "05", "01", "02"};
        QTest::newRow("ScanMax 10") << 10 << -1 << QStringList{"01", "02", "03", "04", "05", "06",
                                                               "07", "08", "09", "0A", "01", "02"};
        QTest::newRow("ScanMax 2") << 2 << -1 << QStringList{"01", "02", "01", "02"};
        QTest::newRow("lowered below the index")
            << 10 << 7
            << QStringList{"01", "02", "03", "04", "05", "06", "07", "08", "01", "02", "03", "01"};
    }
    void theRecordIndexCyclesUpToScanMax() {
        QFETCH(int, scanMax);
        QFETCH(int, shrinkAfter);
        QFETCH(QStringList, indices);
        FormFixture f;
        f.Serial.ClearWrites();
        f.State().ScanMode = QStringLiteral("F");
        f.State().ScanMax = static_cast<int16_t>(scanMax);
        f.State().ByteCount = 0;
        for (int i = 0; i < indices.size(); ++i) {
            if (i == shrinkAfter) {
                f.State().ScanMax = 3;
            }
            f->Timer1_Timer();
        }
        QStringList expected;
        for (const QString& index : indices) {
            expected << "Qf0" + index;
        }
        QCOMPARE(NamesFrom(f.Serial, 0), expected);
        QCOMPARE(int(f.State().ByteCount), 0);
    }

    void pollsFollowTheChosenPeriod_data() {
        QTest::addColumn<int>("period");
        QTest::newRow("240") << 240;
        QTest::newRow("700") << 700;
    }
    void pollsFollowTheChosenPeriod() {
        QFETCH(int, period);
        FormFixture f;
        f.Pump(300);
        QCOMPARE(f.Serial.Writes.size(), 1); // stopped after start-up: the version request only
        f.Serial.ClearWrites();
        const qint64 chosen = f.Serial.NowMs();
        Item(f, QStringLiteral("menuT%1").arg(period))->trigger();
        QVERIFY(f.PumpUntil([&] { return f.Serial.Writes.size() >= 3; }, 4 * period));
        QCOMPARE(f.Serial.Writes[0].AtMs - chosen, qint64{period});
        QCOMPARE(Gaps(f.Serial), QList<qint64>(f.Serial.Writes.size() - 1, period));
        QCOMPARE(NamesFrom(f.Serial, 0).first(), QStringLiteral("QB0"));
        Item(f, "menuSPLstop")->trigger();
        const int polls = f.Serial.Writes.size();
        f.Pump(period + 100);
        QCOMPARE(f.Serial.Writes.size(), polls);
    }

    void theMenuSetsMarksCaptionsAndTimer_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("period");
        QTest::newRow("stop") << "menuSPLstop" << 0;
        for (const PeriodItem& item : kPeriodItems) {
            QTest::newRow(item.Name) << item.Name << item.Period;
        }
    }
    void theMenuSetsMarksCaptionsAndTimer() {
        QFETCH(QString, item);
        QFETCH(int, period);
        FormFixture f;
        ExpectPeriod(f, 0); // start-up leaves sampling stopped
        // From another running period, so that every old mark has to go.
        Item(f, period == 2000 ? "menuT700" : "menuT2000")->trigger();
        Item(f, item)->trigger();
        ExpectPeriod(f, period);
        Item(f, item)->trigger(); // choosing it again keeps its mark
        ExpectPeriod(f, period);
    }

    void clicksOnThePeriodDisplayStepThroughThePeriods() {
        FormFixture f;
        // The menu does not move the step: the first click gives 240 ms.
        f->menuT2000_Click();
        const QList<int> periods = {240, 400, 700, 1000, 2000, 4000, 0, 240};
        for (int period : periods) {
            QTest::mouseClick(f->Label2(11), Qt::LeftButton);
            ExpectPeriod(f, period);
        }
        f->menuT4000_Click();
        QTest::mouseClick(f->Label2(11), Qt::LeftButton);
        ExpectPeriod(f, 400);
    }

    void clicksOnThePanelCaptionsToggle400AndStop() {
        FormFixture f;
        for (int index = 0; index <= 5; ++index) {
            QTest::mouseClick(f->Label9(index), Qt::LeftButton);
            ExpectPeriod(f, index % 2 == 0 ? 400 : 0);
        }
        // The toggle knows nothing of the menu: with 700 ms chosen it still
        // "starts" 400 ms, and after a menu stop its next click stops again.
        f->menuT700_Click();
        QTest::mouseClick(f->Label9(1), Qt::LeftButton);
        ExpectPeriod(f, 400);
        f->menuSPLstop_Click();
        f->menuT1000_Click();
        QTest::mouseClick(f->Label9(2), Qt::LeftButton);
        ExpectPeriod(f, 0);
        QCOMPARE(int(f.State().SampleToggle), 0);
    }
};

QTEST_MAIN(TestPolling)
#include "test_polling.moc"
