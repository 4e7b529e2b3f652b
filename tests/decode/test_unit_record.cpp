#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"

#include <QTest>

#include <memory>

class TestUnitRecord : public QObject {
    Q_OBJECT

private slots:
    void decodesByUnitType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("scanBitLast");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QList<int>>("bytes");
        QTest::addColumn<QString>("cells");
        const QList<int> none;
        const QList<int> counts{0, 0, 0x8B, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        QList<int> channel8(26, 0);
        channel8[23] = 1;
        channel8[25] = 0xFF;
        const auto meter = [](int status) {
            return QList<int>{0, 0, 0x21, 0x43, 0x65, 0xF7, status};
        };
        QTest::newRow("Imd") << 0 << 63 << QList<int>{4095, 1, 2, 3} << none
                             << "1=4095|2=1|3=2|4=3";
        QTest::newRow("Tmp") << 1 << 63 << QList<int>{4095, 100, 1162, 1200} << none
                             << "1=-999|2=999|3=24|4=23";
        QTest::newRow("Volt halves to even")
            << 2 << 63 << QList<int>{2, 6, 3, 0} << none << "1=2|2=8|3=4|4=0";
        QTest::newRow("4-20 halves to even")
            << 3 << 63 << QList<int>{500, 300, 4095, 0} << none << "1=2|2=2|3=20|4=0";
        QTest::newRow("Ctr") << 4 << 63 << none << counts << "1=3723|2=0|3=0|4=65536";
        QTest::newRow("Imd, 128 bits") << 0 << 127 << QList<int>{8, 7, 6, 5, 4, 3, 2, 1} << none
                                       << "1=8|2=7|3=6|4=5|5=4|6=3|7=2|8=1";
        QTest::newRow("Ctr channel 8")
            << 4 << 255 << none << channel8 << "1=0|2=0|3=0|4=0|5=0|6=0|7=0|8=16711681";
        QTest::newRow("Timr") << 5 << 63 << none << counts
                              << "1=001:02:03|2=000:00:00|3=000:00:00|4=018:12:16";
        QTest::newRow("kWH without channels")
            << 6 << 31 << none << QList<int>{0, 0, 1, 2, 3} << "1=197121";
        QTest::newRow("Wmtr point at 3")
            << 7 << 255 << none << meter(0xA2) << "1=1|2=2|3=. 3|4=4|5=5|6=6|7=7|8=?";
        QTest::newRow("Wmtr no point")
            << 7 << 255 << none << meter(0x09) << "1=1|2=2|3=3|4=4|5=5|6=6|7=7|8=?";
        QTest::newRow("Wmtr four") << 7 << 63 << none << meter(0x50) << "1=. 1|2=2|3=3|4=4";
        QTest::newRow("Wmtr fault") << 7 << 255 << none << meter(0x0D) << "1=ERR|2=13";
        QTest::newRow("Wmtr fault, no channels") << 7 << 31 << none << meter(0x0F) << "1=ERR|2=15";
        QTest::newRow("Wmtr, no channels") << 7 << 31 << none << meter(0x02) << "";
        QTest::newRow("TH") << 8 << 63 << QList<int>{1625, 1000, 1, 0, 5, 5} << none
                            << "1= 25.0|2= 33.7|3=-39.9|4=";
        QTest::newRow("Imd, no channels") << 0 << 31 << QList<int>{1} << none << "";
        QTest::newRow("Timr, no channels") << 5 << 31 << none << counts << "";
        QTest::newRow("TH, no channels") << 8 << 31 << QList<int>{1} << none << "";
        QTest::newRow("unknown type") << 9 << 255 << QList<int>{1} << counts << "";
        QTest::newRow("negative type") << -1 << 255 << QList<int>{1} << counts << "";
    }
    void decodesByUnitType() {
        QFETCH(int, type);
        QFETCH(int, scanBitLast);
        QFETCH(QList<int>, values);
        QFETCH(QList<int>, bytes);
        QFETCH(QString, cells);
        auto st = std::make_unique<CheckerState>();
        std::array<QString, 14> text;
        LoadThermistorText(text);
        BuildThermistorTable(text, st->ThermistorTable);
        for (int u = 0; u <= 10; ++u) {
            st->UnitData[u].fill(-77);
            st->UnitText[u].fill(QStringLiteral("old"));
            st->UnitData[u][0] = type;
        }
        st->ScanBitLast = static_cast<int16_t>(scanBitLast);
        std::copy(values.begin(), values.end(), st->ScanValues.begin());
        std::copy(bytes.begin(), bytes.end(), st->ScanBytes.begin());
        const auto before = *st;

        QStringList shown;
        QList<int> written;
        for (const CellText& c : DecodeUnitRecord(*st, 3)) {
            shown << QString::number(c.Cell) + QLatin1Char('=') + c.Text;
            written << c.Cell;
        }
        QCOMPARE(shown.join(QLatin1Char('|')), cells);
        for (int u = 0; u <= 10; ++u) {
            for (int k = 0; k <= 10; ++k) {
                // A water meter keeps all eight nibbles, shown or not.
                const bool stored =
                    u == 3 && (written.contains(k) || (type == 7 && k >= 1 && k <= 8));
                if (!stored) {
                    QCOMPARE(st->UnitData[u][k], before.UnitData[u][k]);
                    QCOMPARE(st->UnitText[u][k], before.UnitText[u][k]);
                }
            }
        }
    }

    void unitsOutsideTheTableAreIgnored() {
        CheckerState st;
        for (int unit : {0, 11, -1}) {
            QVERIFY(DecodeUnitRecord(st, unit).isEmpty());
        }
    }

    void elapsedTime_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("3723") << 3723 << "001:02:03";
        QTest::newRow("999 hours") << 3599999 << "999:59:59";
        QTest::newRow("1000 hours") << 3600000 << "000:00:00";
        QTest::newRow("largest count") << 0xFFFFFF << "660:20:15";
    }
    void elapsedTime() {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatElapsed(seconds), text);
    }

    void temperatureAndHumidityTexts_data() {
        QTest::addColumn<bool>("humidity");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("T 1625") << false << 1625 << " 25.0";
        QTest::newRow("T 1627") << false << 1627 << " 25.1";
        QTest::newRow("T 1 below zero") << false << 1 << "-39.9";
        QTest::newRow("T 1000 below one") << false << 1000 << " .0";
        QTest::newRow("T 4095") << false << 4095 << " 123.8";
        QTest::newRow("T 0 empty") << false << 0 << "";
        QTest::newRow("H 1000") << true << 1000 << " 33.7";
        QTest::newRow("H 1234") << true << 1234 << " 41.7";
        QTest::newRow("H 99 below zero") << true << 99 << "-.017";
        QTest::newRow("H 4095 cut at point") << true << 4095 << " 114.";
        QTest::newRow("H 0 empty") << true << 0 << "";
    }
    void temperatureAndHumidityTexts() {
        QFETCH(bool, humidity);
        QFETCH(int, raw);
        QFETCH(QString, text);
        QCOMPARE(humidity ? THHumidityText(raw) : THTemperatureText(raw), text);
    }

    void numberTexts() {
        QCOMPARE(ShortNumberText(0.5f), QStringLiteral(" .5"));
        QCOMPARE(ShortNumberText(-1.25f), QStringLiteral("-1.25"));
        QCOMPARE(ShortNumberText(0.1f), QStringLiteral(" .1"));
        QCOMPARE(ShortNumberText(1234567.0f), QStringLiteral(" 1234567"));
        QCOMPARE(ShortNumberText(0.0f), QStringLiteral(" 0"));
        QCOMPARE(LongNumberText(100.0), QStringLiteral(" 100"));
        QCOMPARE(LongNumberText(-0.00125), QStringLiteral("-.00125"));
        QCOMPARE(LongNumberText(1.0 / 3), QStringLiteral(" .333333333333333"));
    }
};

QTEST_GUILESS_MAIN(TestUnitRecord)
#include "test_unit_record.moc"
