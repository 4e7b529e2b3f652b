#include "link/Framing.h"
#include "link/HexText.h"

#include <QTest>

class TestFraming : public QObject {
    Q_OBJECT
private slots:
    void checksummedCommandsGoOutWithTwoUpperCaseDigits_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("QV") << QByteArray("\r\nQV\r\nZ") << QByteArray("\r\nQV\r\nD5");
        QTest::newRow("QC") << QByteArray("\r\nQC\r\nZ") << QByteArray("\r\nQC\r\nC2");
        QTest::newRow("QRD00") << QByteArray("\r\nQRD00\r\nZ") << QByteArray("\r\nQRD00\r\n75");
        QTest::newRow("lone placeholder") << QByteArray("Z") << QByteArray("00");
        // Only the last Z is the placeholder; an operator's own Z is data.
        QTest::newRow("text ending in Z")
            << QByteArray("\r\nABZ\r\nZ") << QByteArray("\r\nABZ\r\n0B");
        QTest::newRow("Z inside") << QByteArray("\r\nQZA\r\nZ") << QByteArray("\r\nQZA\r\n1A");
    }
    void checksummedCommandsGoOutWithTwoUpperCaseDigits() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, wire);
        QCOMPARE(FrameBytes(text), wire);
        QCOMPARE(FrameBytes(text).size(), text.size() + 1);
    }

    void rawModemLinesLeaveUnchanged() {
        QCOMPARE(FrameBytes("\r\nOK\r\n"), QByteArray("\r\nOK\r\n"));
        QCOMPARE(FrameBytes("\r\nNO CARRIER\r\n"), QByteArray("\r\nNO CARRIER\r\n"));
        QCOMPARE(FrameBytes(""), QByteArray());
    }

    void checksumIsZeroPaddedUpperCaseModulo256() {
        QCOMPARE(getsum(u""), QStringLiteral("00"));
        QCOMPARE(getsum(QString(QChar(10))), QStringLiteral("0A"));
        QCOMPARE(getsum(QString(QChar(255))), QStringLiteral("FF"));
        QCOMPARE(getsum(QString(2, QChar(128))), QStringLiteral("00"));
        QCOMPARE(getsum(u"\r\nQV\r\n"), QStringLiteral("D5"));
        QCOMPARE(CommandText("QV"), QByteArray("\r\nQV\r\nZ"));
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
