#include "decode/ScanParse.h"

#include <QTest>

#include <memory>

namespace {

// Repeated, this reads as bytes 0x10, 0x32, ... 0xFE (low digit first) and
// values 0x654, 0x987, 0xCBA, 0xFED, 0x210, 0x543, 0x876, 0xBA9.
QByteArray PatternDigits(int count) {
    return QByteArray("0123456789ABCDEF").repeated(4).left(count);
}

QByteArray Reply(const char* code, char line, const QByteArray& data) {
    return QByteArray("\r\n") + code + line + data + "\r\n";
}

// A state whose scan variables hold marks that no parser writes.
std::unique_ptr<CheckerState> MarkedState() {
    auto st = std::make_unique<CheckerState>();
    st->ScanBits.fill(7);
    st->ScanBytes.fill(0x777);
    st->ScanValues.fill(-7);
    st->ScanLine = 3;
    return st;
}

} // namespace

class TestScanParse : public QObject {
    Q_OBJECT

private slots:
    void lineDigit_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("line");
        QTest::newRow("2") << QByteArray("\r\nQB2") << 2;
        QTest::newRow("letter reads 0") << QByteArray("\r\nQBx") << 0;
        QTest::newRow("high byte reads 0") << QByteArray("\r\nQB\xB3") << 0;
        QTest::newRow("missing reads 0") << QByteArray("\r\nQB") << 0;
        QTest::newRow("4 names no line") << QByteArray("\r\nQB4") << -1;
    }
    void lineDigit() {
        QFETCH(QByteArray, reply);
        QFETCH(int, line);
        QCOMPARE(ScanReplyLine(reply), line);
    }

    void qdSpreadsEachCellOverTheFourLines() {
        auto st = MarkedState();
        st->ScanBitLast = 31;
        const QByteArray cells = QByteArray("5Fa") + QByteArray(28, '0') + "\xB5" + "F";
        std::copy(cells.begin(), cells.end(), st->ReceiveBuffer.begin() + 4);
        ParseScanQD(*st);
        const int cellIndex[4] = {0, 1, 2, 31};
        const int expected[4][4] = {{1, 0, 1, 0}, {1, 1, 1, 1}, {0, 1, 0, 1}, {0, 0, 0, 0}};
        for (int c = 0; c < 4; ++c) {
            for (int line = 0; line < 4; ++line) {
                QCOMPARE(st->ScanBits[256 * line + cellIndex[c]], expected[c][line]);
            }
        }
        QCOMPARE(st->ScanBits[32], 7); // beyond the scan
        QCOMPARE(st->ScanLine, 3);
        QCOMPARE(st->ScanBytes[0], 0x777);
        QCOMPARE(st->ScanValues[0], -7);
    }

    void qdStaysWithinTheGridWhateverTheCount() {
        auto st = MarkedState();
        st->ReceiveBuffer.fill('F');
        st->ScanBitLast = 1000;
        ParseScanQD(*st);
        QCOMPARE(std::count(st->ScanBits.begin(), st->ScanBits.end(), 1), 1024);
        st->ScanBitLast = -3;
        st->ReceiveBuffer.fill('0');
        ParseScanQD(*st);
        QCOMPARE(std::count(st->ScanBits.begin(), st->ScanBits.end(), 1), 1024);
    }

    void qfReadsBytesLowDigitFirst() {
        auto st = MarkedState();
        QVERIFY(ParseScanQf(*st, Reply("Qf", '2',
                                       "--10"
                                       "G1"
                                       "21F"
                                       "G" +
                                           QByteArray(56, 'f'))));
        QCOMPARE(st->ScanLine, 2);
        QCOMPARE(st->ScanBytes[0], 0x01);
        QCOMPARE(st->ScanBits[512], 1);
        QCOMPARE(st->ScanBits[512 + 4], 0);
        QCOMPARE(st->ScanBits[0], 7);  // other lines untouched
        QCOMPARE(st->ScanBytes[1], 1); // low digit G ends the reading after the 1
        QCOMPARE(st->ScanBytes[2], 0x12);
        QCOMPARE(st->ScanBytes[3], 0); // high digit G: the group reads 0
        QCOMPARE(st->ScanBytes[31], 0xFF);
        QCOMPARE(st->ScanValues[0], 0xF12);
    }

    void shortQfReadsMissingCharactersAsEmpty() {
        auto st = MarkedState();
        QVERIFY(ParseScanQf(*st, QByteArray("\r\nQf1--FFF")));
        QCOMPARE(st->ScanBytes[0], 0xFF);
        QCOMPARE(st->ScanBytes[1], 0xF);
        QCOMPARE(st->ScanBytes[2], 0);
        QCOMPARE(st->ScanBytes[31], 0);
        QCOMPARE(st->ScanBits[256 + 11], 1);
        QCOMPARE(st->ScanBits[256 + 12], 0);
        QCOMPARE(st->ScanValues[0], 0);
    }

    void qbTakesOnlyTheBytesItCarries_data() {
        QTest::addColumn<int>("digits");
        QTest::addColumn<QList<int>>("values");
        const QList<int> whole{0x654, 0x987, 0xCBA, 0xFED, 0x210, 0x543, 0x876, 0xBA9};
        QTest::newRow("8") << 8 << QList<int>{0x654, 7, 0, 0, 0, 0, 0, 0};
        QTest::newRow("16") << 16 << QList<int>{0x654, 0x987, 0xCBA, 0xFED, 0, 0, 0, 0};
        QTest::newRow("32") << 32 << whole;
        QTest::newRow("64") << 64 << whole;
    }
    void qbTakesOnlyTheBytesItCarries() {
        QFETCH(int, digits);
        QFETCH(QList<int>, values);
        auto st = MarkedState();
        st->ScanDigitLast = static_cast<int16_t>(digits - 1);
        QVERIFY(ParseScanQB(*st, Reply("QB", '1', PatternDigits(digits))));
        QCOMPARE(st->ScanLine, 1);
        const int byteCount = digits / 2;
        QCOMPARE(st->ScanBytes[byteCount - 1], byteCount % 8 == 0 ? 0xFE : 0x76);
        // Bits 0 and 1 of that last byte.
        QCOMPARE(st->ScanBits[256 + 8 * byteCount - 8], 0);
        QCOMPARE(st->ScanBits[256 + 8 * byteCount - 7], 1);
        if (byteCount < 32) {
            QCOMPARE(st->ScanBytes[byteCount], 0x777);
            QCOMPARE(st->ScanBits[256 + 8 * byteCount], 7);
        }
        for (int d = 0; d < 8; ++d) {
            QCOMPARE(st->ScanValues[d], values[d]);
        }
    }

    void lineDigitBeyondFourLinesIsRefused() {
        for (const char line : {'4', '9'}) {
            auto st = MarkedState();
            st->ScanDigitLast = 63;
            const auto before = *st;
            QVERIFY(!ParseScanQB(*st, Reply("QB", line, PatternDigits(64))));
            QVERIFY(!ParseScanQf(*st, Reply("Qf", line, "00" + PatternDigits(64))));
            QVERIFY(st->ScanBits == before.ScanBits);
            QVERIFY(st->ScanBytes == before.ScanBytes);
            QVERIFY(st->ScanValues == before.ScanValues);
            QCOMPARE(st->ScanLine, before.ScanLine);
        }
    }
};

QTEST_GUILESS_MAIN(TestScanParse)
#include "test_scan_parse.moc"
