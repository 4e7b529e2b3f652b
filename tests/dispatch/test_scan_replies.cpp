// Scan, sensor and output replies as the window receives them: the scan size,
// the bit monitor (painted only where something changed), the record's status
// captions and unit row, and replies whose fields name no line or cell.
#include "DispatchBench.h"

namespace {
using Row = ControlArray<VbLabel> Form1::*;
// The unit table's rows "a1".."a10" by unit number.
const Row kUnitRows[11] = {nullptr,         &Form1::Label13, &Form1::Label14, &Form1::Label15,
                           &Form1::Label16, &Form1::Label3,  &Form1::Label18, &Form1::Label19,
                           &Form1::Label20, &Form1::Label21, &Form1::Label22};

QByteArray QBReply(int line, const std::array<int, 32>& bytes, int digits) {
    return FakeSerialControl::Reply("QB" + QByteArray::number(line) +
                                    LowDigitFirst(bytes).left(digits));
}

// A record for unit r (repeated as r1 in byte 1): bytes 2 and 3 make channel 1
// read 0x3FF and channel 2 read 0x00A; bytes 1..13 sum to r1 + 0x1A2; byte 14
// is the received checksum 3C; byte 31 holds the M-Code 23 in bits 2..6.
std::array<int, 32> Record(int r, int r1) {
    std::array<int, 32> b{};
    b[0] = r;
    b[1] = r1;
    b[2] = 0xFF;
    b[3] = 0xA3;
    b[14] = 0x3C;
    b[31] = 0xDE;
    return b;
}

struct ScanSnapshot {
    CheckerState St;
    QString Size;
    bool operator==(const ScanSnapshot& o) const {
        return St.ScanBits == o.St.ScanBits && St.ScanBytes == o.St.ScanBytes &&
               St.ScanValues == o.St.ScanValues && St.ScanLine == o.St.ScanLine &&
               St.ScanBitLast == o.St.ScanBitLast && St.ScanDigitLast == o.St.ScanDigitLast &&
               St.ShownBits == o.St.ShownBits && St.PaintedBitLast == o.St.PaintedBitLast &&
               Size == o.Size;
    }
};
ScanSnapshot Snapshot(const DispatchBench& f) {
    return {f.State(), f->Label2(2)->Caption()};
}
} // namespace

class TestScanReplies : public QObject {
    Q_OBJECT
private slots:
    void aCellScanPaintsItsCellsOnceAndGreysTheRest() {
        DispatchBench f;
        // Cell 0 "5": lines 0 and 2; cell 1 "F": all lines; cell 2 "a": lines 1
        // and 3; cell 3 "G" and a byte with the top bit set are no digits.
        const QByteArray cells = "5FaG\xB1" + QByteArray(123, '0');
        int before = f.GridColorWrites();
        f.Deliver(FakeSerialControl::Reply("QD" + cells));
        QCOMPARE(f->Label2(2)->Caption(), QStringLiteral("128"));
        QCOMPARE(int(f.State().ScanBitLast), 127);
        QCOMPARE(f.GridPicture(), "RR" + QByteArray(126, 'W') + QByteArray(128, 'G'));
        QCOMPARE(f.GridColorWrites() - before, 2 + 128);
        QCOMPARE(f.State().ScanBits[512], int16_t(1));
        QCOMPARE(f.State().ScanBits[256], int16_t(0));
        QCOMPARE(f.State().ScanBits[768 + 2], int16_t(1));
        QCOMPARE(f.State().ScanBits[768 + 4], int16_t(0));
        // The same reply again sets no colour at all.
        before = f.GridColorWrites();
        f.Deliver(FakeSerialControl::Reply("QD" + cells));
        QCOMPARE(f.GridColorWrites(), before);
        // A size that is none of 32, 64, 128, 256 leaves its count and shows nothing.
        f.Deliver(FakeSerialControl::Reply("QD" + QByteArray(100, 'F')));
        QCOMPARE(int(f.State().ScanBitLast), 100);
        QCOMPARE(f->Label2(2)->Caption(), QStringLiteral("128"));
        QCOMPARE(f.GridColorWrites(), before);
    }

    void aShrinkingScanGreysOnceAndAGrowingOneRepaints() {
        DispatchBench f;
        const QByteArray allSet = FakeSerialControl::Reply("QD" + QByteArray(256, '1'));
        std::array<int, 32> ones{};
        ones.fill(0xFF);
        const QList<std::pair<QByteArray, int>> steps = {
            {allSet, 256},               // every cell turns red
            {QBReply(0, ones, 16), 192}, // same bits; cells 64..255 grey
            {QBReply(0, ones, 16), 0},
            {allSet, 192}, // the grey cells come back red
            {allSet, 0},
        };
        for (const auto& [reply, writes] : steps) {
            const int before = f.GridColorWrites();
            f.Deliver(reply);
            QCOMPARE(f.GridColorWrites() - before, writes);
        }
        QCOMPARE(f.GridPicture(), QByteArray(256, 'R'));
    }

    void aPackedScanShowsItsLine() {
        DispatchBench f;
        const std::array<int, 32> bytes{0x01, 0x80, 0xFF, 0x00, 0x5A, 0x00, 0x00, 0x10};
        f.Deliver(QBReply(2, bytes, 16));
        QCOMPARE(int(f.State().ScanLine), 2);
        QCOMPARE(int(f.State().ScanDigitLast), 15);
        QCOMPARE(int(f.State().ScanBitLast), 63);
        QCOMPARE(f->Label2(2)->Caption(), QStringLiteral("64"));
        QCOMPARE(f.GridPicture(), ExpectedPicture(bytes, 63));
        // A record keeps the scan size and shows "256" all the same. It comes
        // for another line: the grid changes to that line where they differ.
        const std::array<int, 32> record = Record(1, 2);
        int differing = 0;
        for (int i = 0; i < 64; ++i) {
            differing += ExpectedPicture(bytes, 63)[i] != ExpectedPicture(record, 63)[i] ? 1 : 0;
        }
        const int before = f.GridColorWrites();
        f.Deliver(QfReply(1, record));
        QCOMPARE(int(f.State().ScanLine), 1);
        QCOMPARE(int(f.State().ScanBitLast), 63);
        QCOMPARE(f->Label2(2)->Caption(), QStringLiteral("256"));
        QCOMPARE(f.GridPicture(), ExpectedPicture(record, 63));
        QCOMPARE(f.GridColorWrites() - before, differing);
    }

    void theRecordShowsItsStatusAndUnit_data() {
        QTest::addColumn<int>("r");
        QTest::addColumn<int>("r1");
        QTest::addColumn<QString>("csum"); // empty: the status captions are kept
        for (int u = 1; u <= 10; ++u) {
            QTest::addRow("unit %d", u)
                << u << u << QString::number((u + 0x1A2) & 0xFF, 16).toUpper();
        }
        QTest::newRow("bytes 0 and 1 differ") << 3 << 4 << QString();
        QTest::newRow("unit 0") << 0 << 0 << QStringLiteral("A2");
        QTest::newRow("unit 11") << 11 << 11 << QStringLiteral("AD");
    }
    void theRecordShowsItsStatusAndUnit() {
        QFETCH(int, r);
        QFETCH(int, r1);
        QFETCH(QString, csum);
        DispatchBench f;
        f->Label2(12)->SetCaption("-");
        f->Label2(13)->SetCaption("-");
        f->Label22(11)->SetCaption("-");
        f.Deliver(QfReply(0, Record(r, r1)));
        if (csum.isEmpty()) {
            QCOMPARE(f->Label2(12)->Caption(), QStringLiteral("-"));
            QCOMPARE(f->Label2(13)->Caption(), QStringLiteral("-"));
            QCOMPARE(f->Label22(11)->Caption(), QStringLiteral("-"));
        } else {
            QCOMPARE(f->Label2(12)->Caption(), csum);
            QCOMPARE(f->Label2(13)->Caption(), QStringLiteral("3C"));
            QCOMPARE(f->Label22(11)->Caption(), QStringLiteral("23"));
        }
        // Raw values (every unit starts as type "Imd") in the named unit's row only.
        const bool shown = r == r1 && r >= 1 && r <= 10;
        for (int u = 1; u <= 10; ++u) {
            const ControlArray<VbLabel>& row = (*f.Form).*kUnitRows[u];
            QCOMPARE(row(1)->Caption(), shown && u == r ? QStringLiteral("1023") : QString());
            QCOMPARE(row(2)->Caption(), shown && u == r ? QStringLiteral("10") : QString());
        }
    }

    void theRecordNumberIsShownInRecordScanOnly() {
        DispatchBench f;
        f->Label22(10)->SetCaption("-");
        f.Deliver(QfReply(0, Record(7, 7)));
        QCOMPARE(f->Label22(10)->Caption(), QStringLiteral("-"));
        f.State().ScanMode = QStringLiteral("F");
        f.Deliver(QfReply(0, Record(12, 0)));
        QCOMPARE(f->Label22(10)->Caption(), QStringLiteral("12"));
    }

    void sensorAndOutputRepliesFillTheirCells() {
        DispatchBench f;
        f.Deliver(FakeSerialControl::Reply("Qz3FFFFX1FA"));
        QCOMPARE(f->Label13(4)->Caption(), QStringLiteral("-1"));
        QCOMPARE(f->Label13(6)->Caption(), QStringLiteral("X"));
        QCOMPARE(f->Label13(7)->Caption(), QStringLiteral("31"));
        QCOMPARE(f->Label13(8)->Caption(), QStringLiteral("10"));
        f.Deliver(FakeSerialControl::Reply("Qz00010Y22B"));
        QCOMPARE(f->Label13(1)->Caption(), QStringLiteral("16"));
        QCOMPARE(f->Label13(4)->Caption(), QStringLiteral("-1"));
        QCOMPARE(f->Label13(6)->Caption(), QStringLiteral("Y"));

        f.Deliver(FakeSerialControl::Reply("Qy048A0FFF0064FFFF10"));
        const QStringList readings{"1162", "4095", "100", "-1"};
        const QStringList degrees{"24", "-999", "999", "999"};
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(f->Label13(i)->Caption(), readings[i - 1]);
            QCOMPARE(f->Label14(i)->Caption(), degrees[i - 1]);
            QCOMPARE(QString::number(f.State().ThermistorReadings.at(std::size_t(i))),
                     readings[i - 1]);
        }
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("OutP = 1 "));
        QCOMPARE(f->Label15(2)->Caption(), QStringLiteral("InP = 0 "));

        f.Deliver(FakeSerialControl::Reply("Qw01"));
        QCOMPARE(f->Label14(1)->Caption(), QStringLiteral("OutP=0 "));
        QCOMPARE(f->Label14(2)->Caption(), QStringLiteral("InP= 1 "));
    }

    void aSensorReplyForChannel8Or9ChangesNoCell() {
        DispatchBench f;
        for (int k = 0; k <= 8; ++k) {
            f->Label13(k)->SetCaption("-");
        }
        f.Deliver(FakeSerialControl::Reply("Qz8FFFFX1FA"));
        f.Deliver(FakeSerialControl::Reply("Qz90001Y22B"));
        for (int k = 0; k <= 8; ++k) {
            QCOMPARE(f->Label13(k)->Caption(), QStringLiteral("-"));
        }
    }

    void aScanForLine4To9IsRefused_data() {
        QTest::addColumn<QByteArray>("reply");
        std::array<int, 32> ones{};
        ones.fill(0xFF);
        QTest::newRow("QB line 4") << QBReply(4, ones, 16);
        QTest::newRow("QB line 9, 64 digits") << QBReply(9, ones, 64);
        QTest::newRow("QB line 5, odd size") << QBReply(5, ones, 20);
        QTest::newRow("Qf line 7") << QfReply(7, ones);
    }
    void aScanForLine4To9IsRefused() {
        QFETCH(QByteArray, reply);
        DispatchBench f;
        f.Deliver(QfReply(3, Record(2, 2)));
        f.Deliver(QBReply(1, Record(5, 6), 32));
        const ScanSnapshot before = Snapshot(f);
        const QByteArray picture = f.GridPicture();
        const int writes = f.GridColorWrites();
        f.Deliver(reply);
        QVERIFY(Snapshot(f) == before);
        QCOMPARE(f.GridPicture(), picture);
        QCOMPARE(f.GridColorWrites(), writes);
        QCOMPARE(f->Label2(12)->Caption(), QStringLiteral("A4"));
    }

    // An over-long scan is refused but leaves its count above 255; the next
    // record is still painted within the grid and within its own line.
    void anOverLongScanCountStaysWithinTheGridAndLine_data() {
        QTest::addColumn<QByteArray>("overLong");
        QTest::addColumn<int>("count");
        QTest::newRow("QD") << FakeSerialControl::Reply("QD" + QByteArray(300, '0')) << 300;
        QTest::newRow("QB") << FakeSerialControl::Reply("QB1" + QByteArray(600, '0')) << 600;
    }
    void anOverLongScanCountStaysWithinTheGridAndLine() {
        QFETCH(QByteArray, overLong);
        QFETCH(int, count);
        DispatchBench f;
        f.Deliver(overLong);
        QCOMPARE(int(f.State().ScanBitLast), count);
        for (std::size_t i = 0; i < 768; ++i) {
            f.State().ShownBits[i] = 7;
        }
        const auto bitsBefore = f.State().ScanBits;
        std::array<int, 32> record = Record(4, 4);
        record[31] = 0x81;
        f.Deliver(QfReply(3, record));
        QCOMPARE(f.GridPicture(), ExpectedPicture(record, 255));
        for (std::size_t i = 0; i < 768; ++i) {
            QCOMPARE(f.State().ShownBits[i], int16_t(7));
            QCOMPARE(f.State().ScanBits[i], bitsBefore[i]);
        }
        // The next scan of a regular size greys as usual.
        f.Deliver(QBReply(3, record, 8));
        QCOMPARE(f.GridPicture(), ExpectedPicture(record, 31));
    }
};

QTEST_MAIN(TestScanReplies)
#include "test_scan_replies.moc"
