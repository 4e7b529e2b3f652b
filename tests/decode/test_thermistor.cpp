#include "decode/Thermistor.h"

#include <QTest>

class TestThermistor : public QObject {
    Q_OBJECT
    ThermistorTableType table_;

private slots:
    void initTestCase() {
        std::array<QString, 14> text;
        LoadThermistorText(text);
        BuildThermistorTable(text, table_);
    }

    void tableHoldsMidpointMillivolts_data() {
        QTest::addColumn<int>("degree");
        QTest::addColumn<int>("millivolts");
        QTest::newRow("-40") << -40 << 4048;
        QTest::newRow("0") << 0 << 2105;
        QTest::newRow("25") << 25 << 1147;
        QTest::newRow("80") << 80 << 281;
        QTest::newRow("81 unsmoothed") << 81 << 278;
    }
    void tableHoldsMidpointMillivolts() {
        QFETCH(int, degree);
        QFETCH(int, millivolts);
        QCOMPARE(table_[degree], millivolts);
    }

    void readingsGiveWholeDegrees_data() {
        QTest::addColumn<int>("reading");
        QTest::addColumn<int>("degree");
        QTest::newRow("coldest entry") << 4048 << -40;
        QTest::newRow("just too cold") << 4049 << -999;
        QTest::newRow("supply") << 5000 << -999;
        QTest::newRow("hottest entry") << 281 << 80;
        QTest::newRow("just too hot") << 280 << 999;
        QTest::newRow("zero") << 0 << 999;
        QTest::newRow("negative") << -5 << 999;
        QTest::newRow("10 kOhm") << 1162 << 24;
        QTest::newRow("1200") << 1200 << 23;
    }
    void readingsGiveWholeDegrees() {
        QFETCH(int, reading);
        QFETCH(int, degree);
        QCOMPARE(LookupTemperature(table_, static_cast<int16_t>(reading)), degree);
    }

    // A reading equal to the middle between two entries belongs to the colder
    // degree, one equal to the next entry to the warmer one.
    void boundariesBelongToTheFirstMatchingDegree() {
        const int e = table_[10];
        const int f = table_[11];
        const int m = (e + f) / 2;
        QCOMPARE(LookupTemperature(table_, static_cast<int16_t>(m)), 10);
        QCOMPARE(LookupTemperature(table_, static_cast<int16_t>(m - 1)), 11);
        QCOMPARE(LookupTemperature(table_, static_cast<int16_t>(f)), 11);
    }

    void everyReadingInRangeGivesADegreeThatFallsAsVoltageRises() {
        int previous = 80;
        for (int v = 281; v <= 4048; ++v) {
            const int d = LookupTemperature(table_, static_cast<int16_t>(v));
            QVERIFY(d >= -40 && d <= 80);
            QVERIFY(d <= previous);
            previous = d;
        }
        QCOMPARE(previous, -40);
    }
};

QTEST_GUILESS_MAIN(TestThermistor)
#include "test_thermistor.moc"
