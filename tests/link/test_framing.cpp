#include "link/Framing.h"
#include "link/HexText.h"

#include <QTest>

class TestFraming : public QObject {
    Q_OBJECT
private slots:
    void checksummedCommandsGoOutWithTwoUpperCaseDigits_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("QV") << QByteArray("QV") << QByteArray("\r\nQV\r\nD5");
        QTest::newRow("QC") << QByteArray("QC") << QByteArray("\r\nQC\r\nC2");
        QTest::newRow("QRD00") << QByteArray("QRD00") << QByteArray("\r\nQRD00\r\n75");
        QTest::newRow("empty") << QByteArray() << QByteArray("\r\n\r\n2E");
        // An operator's own Z is data like any other letter.
        QTest::newRow("text ending in Z") << QByteArray("ABZ") << QByteArray("\r\nABZ\r\n0B");
        QTest::newRow("Z inside") << QByteArray("QZA") << QByteArray("\r\nQZA\r\n1A");
    }
    void checksummedCommandsGoOutWithTwoUpperCaseDigits() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, wire);
        QCOMPARE(CommandFrame(command), wire);
    }

    void modemLinesGoOutWithoutChecksum() {
        QCOMPARE(ModemLine("OK"), QByteArray("\r\nOK\r\n"));
        QCOMPARE(ModemLine("NO CARRIER"), QByteArray("\r\nNO CARRIER\r\n"));
    }

    void checksumIsZeroPaddedUpperCaseModulo256() {
        QCOMPARE(getsum(""), QByteArray("00"));
        QCOMPARE(getsum("\n"), QByteArray("0A"));
        QCOMPARE(getsum("\xFF"), QByteArray("FF"));
        QCOMPARE(getsum("\x80\x80"), QByteArray("00"));
        QCOMPARE(getsum("\r\nQV\r\n"), QByteArray("D5"));
    }

    void hexFieldsReadUntilTheFirstNonDigit_data() {
        QTest::addColumn<QByteArray>("digits");
        QTest::addColumn<uint>("value");
        QTest::newRow("upper") << QByteArray("1A") << 26u;
        QTest::newRow("lower") << QByteArray("ff") << 255u;
        QTest::newRow("stops at G") << QByteArray("1G") << 1u;
        QTest::newRow("leading bad") << QByteArray("G1") << 0u;
        QTest::newRow("empty") << QByteArray() << 0u;
        QTest::newRow("high byte") << QByteArray("\xB1"
                                                 "1")
                                   << 0u;
        QTest::newRow("NUL") << QByteArray("1\0"
                                           "2",
                                           3)
                             << 1u;
    }
    void hexFieldsReadUntilTheFirstNonDigit() {
        QFETCH(QByteArray, digits);
        QFETCH(uint, value);
        QCOMPARE(ReadHex(digits), value);
    }

    void fieldsAreOneBasedAndCutShort() {
        const QByteArray s("\r\nQG12ABCD\r\n");
        QCOMPARE(FieldHex(s, 5, 2), 0x12u);
        QCOMPARE(FieldHex(s, 9, 2), 0xCDu);
        QCOMPARE(FieldHex(s, 11, 4), 0u);    // CR LF is no digit
        QCOMPARE(Field(s, 11, 4).size(), 2); // runs past the end
        QCOMPARE(Field(s, 40, 4).size(), 0);
        QCOMPARE(FieldHexSigned16("\r\nQyFFFF", 5), int16_t(-1));
        QCOMPARE(FieldHexSigned16("\r\nQy7FFF", 5), int16_t(32767));
        QCOMPARE(FieldDecimal("\r\nQz7", 5, 1), 7u);
        QCOMPARE(FieldDecimal("\r\nQzx", 5, 1), 0u);
        QCOMPARE(Hex2(5), QStringLiteral("05"));
        QCOMPARE(Hex2(171), QStringLiteral("AB"));
        QCOMPARE(Hex1(11), QStringLiteral("B"));
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
