#include "link/Frame.h"
#include "link/HexText.h"

#include <QTest>

Q_DECLARE_METATYPE(FrameKind)
Q_DECLARE_METATYPE(LineDirection)

class TestFrame : public QObject {
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
        QCOMPARE(ModemCommandLine("AT&F"), QByteArray("AT&F\r"));
    }

    // Each frame read the way it travels: kind, code, arguments, the checksum
    // it carries and the one its bytes add up to (-1: none).
    void framesAreReadByKind_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<LineDirection>("direction");
        QTest::addColumn<FrameKind>("kind");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("arguments");
        QTest::addColumn<int>("received");
        QTest::addColumn<int>("computed");
        const auto to = LineDirection::ToUnit;
        const auto from = LineDirection::FromUnit;
        QTest::newRow("command") << QByteArray("\r\nQV\r\nD5") << to << FrameKind::Command
                                 << QByteArray("QV") << QByteArray() << 0xD5 << 0xD5;
        QTest::newRow("command with arguments")
            << QByteArray("\r\nQRD00\r\n75") << to << FrameKind::Command << QByteArray("QR")
            << QByteArray("D00") << 0x75 << 0x75;
        QTest::newRow("modem line") << QByteArray("\r\nOK\r\n") << to << FrameKind::ModemLine
                                    << QByteArray() << QByteArray("OK") << -1 << 0xC8;
        QTest::newRow("to the unit without CR LF") << QByteArray("QV") << to << FrameKind::Unknown
                                                   << QByteArray() << QByteArray() << -1 << -1;
        QTest::newRow("bare CR LF") << QByteArray("\r\n") << to << FrameKind::Command
                                    << QByteArray() << QByteArray() << -1 << -1;
        QTest::newRow("reply") << QByteArray("\r\nQG12ABCD\r\n33") << from << FrameKind::Reply
                               << QByteArray("QG") << QByteArray("12ABCD") << 0x33 << 0x33;
        QTest::newRow("wrong checksum")
            << QByteArray("\r\nQG12ABCD\r\n34") << from << FrameKind::Reply << QByteArray("QG")
            << QByteArray("12ABCD") << 0x34 << 0x33;
        QTest::newRow("lower-case checksum")
            << QByteArray("\r\nQV\r\nd5") << from << FrameKind::Reply << QByteArray("QV")
            << QByteArray() << 0xD5 << 0xD5;
        QTest::newRow("checksum digit damaged")
            << QByteArray("\r\nQV\r\nDZ") << from << FrameKind::Reply << QByteArray("QV")
            << QByteArray() << -1 << 0xD5;
        QTest::newRow("checksum cut off") << QByteArray("\r\nQV\r\nD") << from << FrameKind::Reply
                                          << QByteArray("QV") << QByteArray() << -1 << 0xD5;
        QTest::newRow("reply not closed") << QByteArray("\r\nQD0F") << from << FrameKind::Reply
                                          << QByteArray("QD") << QByteArray("0F") << -1 << -1;
        QTest::newRow("one-letter code") << QByteArray("\r\nQ\r\n7F") << from << FrameKind::Reply
                                         << QByteArray("Q") << QByteArray() << 0x7F << 0x7F;
        QTest::newRow("result line") << QByteArray("\r\nRING\r\n") << from << FrameKind::ResultLine
                                     << QByteArray() << QByteArray("RING") << -1 << 0x5E;
        QTest::newRow("modem command") << QByteArray("AT&F\r") << from << FrameKind::ModemCommand
                                       << QByteArray() << QByteArray("AT&F") << -1 << -1;
        // A reply code behind a head that is not CR LF makes no reply, even
        // when the checksum over the whole frame is right.
        QTest::newRow("reply code after AT")
            << QByteArray("ATQD0F\r\nB7") << from << FrameKind::ModemCommand << QByteArray()
            << QByteArray("ATQD0F") << -1 << -1;
        QTest::newRow("escape") << QByteArray("+++") << from << FrameKind::Escape << QByteArray()
                                << QByteArray() << -1 << -1;
        QTest::newRow("stray byte") << QByteArray("X\r\n") << from << FrameKind::Unknown
                                    << QByteArray() << QByteArray() << -1 << -1;
        QTest::newRow("nothing") << QByteArray() << from << FrameKind::Unknown << QByteArray()
                                 << QByteArray() << -1 << -1;
    }
    void framesAreReadByKind() {
        QFETCH(QByteArray, bytes);
        QFETCH(LineDirection, direction);
        QFETCH(FrameKind, kind);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, arguments);
        QFETCH(int, received);
        QFETCH(int, computed);
        const Frame frame = ReadFrame(bytes, direction);
        QCOMPARE(frame.Kind, kind);
        QCOMPARE(frame.Code, code);
        QCOMPARE(frame.Arguments, arguments);
        QCOMPARE(frame.ReceivedSum, received);
        QCOMPARE(frame.ComputedSum, computed);
        QCOMPARE(frame.ChecksumRight(), received >= 0 && received == computed);
        QCOMPARE(frame.Bytes, bytes);
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

QTEST_GUILESS_MAIN(TestFrame)
#include "test_frame.moc"
