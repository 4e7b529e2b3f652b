#include "checks/Patterns.h"

#include <QTest>

namespace {
// Hex digits of a table row written with spaces between its bytes.
QByteArray Row(const char* bytes) {
    return QByteArray(bytes).replace(' ', "");
}
} // namespace

class TestPatterns : public QObject {
    Q_OBJECT
private slots:
    void patternDigitsMatchTheirByteTables_data() {
        QTest::addColumn<QByteArray>("digits");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Pattern1") << Pattern1Digits()
                                  << Row("01 80 02 40 04 20 08 10 10 08 20 04 40 02 80 01"
                                         "80 01 40 02 20 04 10 08 08 10 04 20 02 40 01 80");
        QTest::newRow("Pattern2") << Pattern2Digits()
                                  << Row("02 11 E4 FF 08 11 00 00 C2 7F 44 44 48 44 C0 7F"
                                         "00 04 D0 7F 10 04 E8 FF 08 04 04 0A 84 31 62 C0");
        QTest::newRow("Pattern3") << Pattern3Digits() << QByteArray(64, 'F');
        QTest::newRow("Clear1") << ClearLineDigits() << QByteArray(64, '0');
    }
    void patternDigitsMatchTheirByteTables() {
        QFETCH(QByteArray, digits);
        QFETCH(QByteArray, expected);
        QCOMPARE(expected.size(), 64);
        QCOMPARE(digits, expected);
    }

    void pattern1FollowsTheBitWeightsItIsGiven() {
        std::array<int16_t, 12> weights{};
        for (int i = 0; i < 12; ++i) {
            weights[i] = static_cast<int16_t>(0x11 * (i + 1)); // 11 22 33 ... 88
        }
        QCOMPARE(Pattern1Digits(weights).left(8), QByteArray("11882277"));
        QCOMPARE(Pattern1Digits(weights).mid(32, 8), QByteArray("88117722"));
    }

    void reverseByteBitsMirrorsTheByte_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("reversed");
        QTest::newRow("40") << 0x40 << 0x02;
        QTest::newRow("88") << 0x88 << 0x11;
        QTest::newRow("03") << 0x03 << 0xC0;
        QTest::newRow("FF") << 0xFF << 0xFF;
        QTest::newRow("80") << 0x80 << 0x01;
        QTest::newRow("00") << 0x00 << 0x00;
        QTest::newRow("8C") << 0x8C << 0x31;
    }
    void reverseByteBitsMirrorsTheByte() {
        QFETCH(int, value);
        QFETCH(int, reversed);
        QCOMPARE(ReverseByteBits(static_cast<uint8_t>(value)), int16_t(reversed));
    }

    void reversingTwiceGivesTheByteBack() {
        for (int v = 0; v < 256; ++v) {
            const int16_t once = ReverseByteBits(static_cast<uint8_t>(v));
            QVERIFY(once >= 0 && once <= 255);
            QCOMPARE(ReverseByteBits(static_cast<uint8_t>(once)), int16_t(v));
        }
    }

    void lineWriteCommandCarriesLineDigitAndData() {
        const QByteArray command = LineWriteCommand("2", Pattern3Digits());
        QCOMPARE(command, QByteArray("Q:200") + QByteArray(64, 'F'));
        QVERIFY(LineWriteCommand("0", Pattern1Digits()).startsWith("Q:000018002"));
    }
};

QTEST_GUILESS_MAIN(TestPatterns)
#include "test_patterns.moc"
