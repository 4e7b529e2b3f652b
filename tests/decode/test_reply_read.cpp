#include "decode/ReplyRead.h"

#include <QTest>

namespace {

// Reads the row's text and compares two text fields of the reply with the
// row's "first" and "second".
template <typename Reply>
void CompareTextFields(Reply (*read)(QByteArrayView), QByteArray Reply::*firstField,
                       QByteArray Reply::*secondField) {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const Reply reply = read(text);
    QCOMPARE(reply.*firstField, first);
    QCOMPARE(reply.*secondField, second);
}

} // namespace

class TestReplyRead : public QObject {
    Q_OBJECT
private slots:
    void versionNameAndDate_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("first");  // the ROM name
        QTest::addColumn<QByteArray>("second"); // the ROM date
        QTest::newRow("LUP") << QByteArray("\r\nQV3LUPTAB13  ZEL-03  99-11-26\r\n")
                             << QByteArray("LUPTAB13") << QByteArray("99-11-26");
        // The RAV name is a character shorter: its date starts a position earlier.
        QTest::newRow("RAV") << QByteArray("\r\nQV3RAV-B13  ZEL-03  00-03-14\r\n")
                             << QByteArray("RAV-B13 ") << QByteArray("00-03-14");
        QTest::newRow("ZEL") << QByteArray("\r\nQV3ZEL10-13  ZEL-03  01-07-02\r\n")
                             << QByteArray("ZEL10-13") << QByteArray("01-07-02");
        // Fields too long for the text are cut at its end, line end included.
        QTest::newRow("short") << QByteArray("\r\nQV3LUP\r\n") << QByteArray("LUP\r\n")
                               << QByteArray();
        QTest::newRow("nothing after the code")
            << QByteArray("\r\nQV") << QByteArray() << QByteArray();
    }
    void versionNameAndDate() {
        CompareTextFields(ReadVersionReply, &RomVersion::Name, &RomVersion::Date);
    }

    void counterIsThreeHexBytesHighFirst_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("counter");
        QTest::newRow("12 AB CD") << QByteArray("\r\nQG12ABCD\r\n") << 1223629;
        QTest::newRow("lower case") << QByteArray("\r\nQG12abcd\r\n") << 1223629;
        QTest::newRow("largest") << QByteArray("\r\nQGFFFFFF\r\n") << 16777215;
        // A byte with the top bit set is no digit, even if its low seven bits are.
        QTest::newRow("0xB1 stops a field") << QByteArray("\r\nQG12\xB1"
                                                          "BCD\r\n")
                                            << 1179853;
        QTest::newRow("NUL stops a field") << QByteArray("\r\nQG1\0ABCD\r\n", 12) << 109517;
        QTest::newRow("cut short") << QByteArray("\r\nQG12\r\n") << 1179648;
    }
    void counterIsThreeHexBytesHighFirst() {
        QFETCH(QByteArray, text);
        QFETCH(int, counter);
        QCOMPARE(ReadCounterReply(text), counter);
    }

    void sensorChannel_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("reading");
        QTest::addColumn<QByteArray>("flag");
        QTest::addColumn<uint>("level");
        QTest::addColumn<uint>("state");
        QTest::newRow("channel 3")
            << QByteArray("\r\nQz3FFFFX1FA\r\n") << 3 << -1 << QByteArray("X") << 31u << 10u;
        QTest::newRow("largest reading")
            << QByteArray("\r\nQz07FFFY000\r\n") << 0 << 32767 << QByteArray("Y") << 0u << 0u;
        // A channel byte with the top bit set is no digit: it reads 0.
        QTest::newRow("0xB3 channel") << QByteArray("\r\nQz\xB3"
                                                    "0010X1FA\r\n")
                                      << 0 << 16 << QByteArray("X") << 31u << 10u;
        QTest::newRow("channel 9")
            << QByteArray("\r\nQz90001Y22B\r\n") << 9 << 1 << QByteArray("Y") << 0x22u << 0xBu;
        // Fields past the text's end read the line end, then nothing.
        QTest::newRow("short") << QByteArray("\r\nQz2\r\n") << 2 << 0 << QByteArray() << 0u << 0u;
    }
    void sensorChannel() {
        QFETCH(QByteArray, text);
        QFETCH(int, channel);
        QFETCH(int, reading);
        QFETCH(QByteArray, flag);
        QFETCH(uint, level);
        QFETCH(uint, state);
        const SensorChannel reply = ReadSensorChannelReply(text);
        QCOMPARE(reply.Channel, channel);
        QCOMPARE(int(reply.Reading), reading);
        QCOMPARE(reply.Flag, flag);
        QCOMPARE(reply.Level, level);
        QCOMPARE(reply.State, state);
    }

    void sensorsAndPorts_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("readings");
        QTest::addColumn<QByteArray>("outPort");
        QTest::addColumn<QByteArray>("inPort");
        QTest::newRow("four readings")
            << QByteArray("\r\nQy048A0FFF0064FFFF10\r\n") << QList<int>{1162, 4095, 100, -1}
            << QByteArray("1") << QByteArray("0");
        QTest::newRow("cut in the first reading")
            << QByteArray("\r\nQy12\r\n") << QList<int>{18, 0, 0, 0} << QByteArray()
            << QByteArray();
        QTest::newRow("ports missing")
            << QByteArray("\r\nQy0001000200030004\r\n") << QList<int>{1, 2, 3, 4}
            << QByteArray("\r") << QByteArray("\n");
    }
    void sensorsAndPorts() {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, readings);
        QFETCH(QByteArray, outPort);
        QFETCH(QByteArray, inPort);
        const SensorReadings reply = ReadSensorReply(text);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(int(reply.Readings.at(std::size_t(i))), readings[i]);
        }
        QCOMPARE(reply.OutPort, outPort);
        QCOMPARE(reply.InPort, inPort);
    }

    void outputPorts_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("first");  // the output port
        QTest::addColumn<QByteArray>("second"); // the input port
        QTest::newRow("0 1") << QByteArray("\r\nQw01\r\n") << QByteArray("0") << QByteArray("1");
        // With no port characters the line end stands in their places.
        QTest::newRow("empty") << QByteArray("\r\nQw\r\n") << QByteArray("\r") << QByteArray("\n");
    }
    void outputPorts() {
        CompareTextFields(ReadPortsReply, &PortStates::OutPort, &PortStates::InPort);
    }
};

QTEST_GUILESS_MAIN(TestReplyRead)
#include "test_reply_read.moc"
