#include "sim/FrameDamage.h"
#include "sim/ReplyText.h"
#include "sim/UnitModel.h"

#include "link/ReplyReceiver.h"

#include "ReferenceFrames.h"

#include <QTest>

#include <vector>

namespace {

// Sends one command and returns every frame the unit has sent by `untilMs`.
QList<QByteArray> Ask(UnitModel& unit, QByteArrayView body, qint64 atMs, qint64 untilMs = -1) {
    unit.Receive(Wire(body), atMs);
    return unit.TakeDueFrames(untilMs < 0 ? atMs + 1000 : untilMs);
}

// The text of a reply between the opening CR LF and the closing CR LF.
QByteArray Body(const QByteArray& frame) {
    return frame.mid(2, frame.size() - 6);
}

// The checker's reading of a data field: byte c from characters 2c (low
// digit) and 2c + 1 (high digit).
QByteArray CheckerBytes(QByteArrayView digits) {
    QByteArray bytes;
    for (qsizetype c = 0; c + 1 < digits.size(); c += 2) {
        bytes.append(static_cast<char>(QByteArray(1, digits[c + 1]).toInt(nullptr, 16) * 16 +
                                       QByteArray(1, digits[c]).toInt(nullptr, 16)));
    }
    return bytes;
}

// The checker's reading of 12-bit value d: characters 3d + 4 (low) to 3d + 6.
int CheckerValue(QByteArrayView digits, int d) {
    QByteArray high;
    high.append(digits[3 * d + 6]).append(digits[3 * d + 5]).append(digits[3 * d + 4]);
    return high.toInt(nullptr, 16);
}

UnitConfig Config(UnitFamily family, int bits = 256) {
    UnitConfig config;
    config.Family = family;
    config.ScanBits = bits;
    return config;
}

UnitModel OnlineUnit(int bits = 256, UnitFaults faults = {}) {
    UnitConfig config = Config(UnitFamily::Zel, bits);
    config.Faults = faults;
    UnitModel unit(config);
    unit.PowerOn(0);
    return unit;
}

// What the checker's receiver makes of a frame fed to it whole, and why it
// refused it.
ReplyReceiver::Result CheckerVerdict(const QByteArray& frame,
                                     ReplyReceiver::Rejection* why = nullptr) {
    std::vector<uint8_t> buffer(512);
    ReplyReceiver receiver(buffer.data(), int(buffer.size()));
    ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
    for (char c : frame) {
        result = receiver.Feed(static_cast<uint8_t>(c));
    }
    if (why != nullptr) {
        *why = receiver.RejectReason();
    }
    return result;
}

const QByteArray kPattern1 =
    "0180024004200810100820044002800180014002200410080810042002400180"; // as the checker writes it

} // namespace

class TestUnitModel : public QObject {
    Q_OBJECT
private slots:
    void versionReplyPlacesNameAndDateWhereTheCheckerReadsThem_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("shownName");
        QTest::addColumn<int>("datePosition"); // 1-based, in CR LF + body
        QTest::newRow("LUP") << int(UnitFamily::Lup) << QByteArray("QV3LUPTAB13  ZEL-03  99-11-26")
                             << QByteArray("LUPTAB13") << 24;
        QTest::newRow("RAV") << int(UnitFamily::Rav) << QByteArray("QV3RAV-B13  ZEL-03  00-03-14")
                             << QByteArray("RAV-B13 ") << 23;
        QTest::newRow("ZEL") << int(UnitFamily::Zel) << QByteArray("QV3ZEL10-13  ZEL-03  01-07-02")
                             << QByteArray("ZEL10-13") << 24;
    }
    void versionReplyPlacesNameAndDateWhereTheCheckerReadsThem() {
        QFETCH(int, family);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, shownName);
        QFETCH(int, datePosition);
        UnitModel unit(Config(static_cast<UnitFamily>(family)));
        unit.PowerOn(0);
        if (family != int(UnitFamily::Zel)) { // finish the modem set-up
            unit.TakeDueFrames(1000);
            unit.Receive("\r\nOK\r\n", 1000);
            unit.Receive("\r\nOK\r\n", 1500);
            QCOMPARE(unit.TakeDueFrames(2000), QList<QByteArray>{"ATH0\r"});
        }
        const QList<QByteArray> frames = Ask(unit, "QV", 3000);
        QCOMPARE(frames, QList<QByteArray>{Wire(body)});
        const QByteArray s = frames[0].left(frames[0].size() - 2);
        QCOMPARE(s.mid(5, 8), shownName);
        QCOMPARE(s.mid(datePosition - 1, 8), UnitRomDate(static_cast<UnitFamily>(family)));
    }

    void lineReplyIsPackedLeastSignificantDigitFirst_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QByteArray>("digits");
        const QByteArray all = "10082004400280010180024004200810"
                               "08100420024001808001400220041008";
        QTest::newRow("256") << 256 << all;
        QTest::newRow("128") << 128 << all.left(32);
        QTest::newRow("64") << 64 << all.left(16);
        QTest::newRow("32") << 32 << all.left(8);
    }
    void lineReplyIsPackedLeastSignificantDigitFirst() {
        QFETCH(int, bits);
        QFETCH(QByteArray, digits);
        UnitModel unit = OnlineUnit(bits);
        QCOMPARE(Ask(unit, "Q:200" + kPattern1, 100), QList<QByteArray>{Wire("QX:")});
        const QList<QByteArray> frames = Ask(unit, "QB2", 200);
        QCOMPARE(frames, QList<QByteArray>{Wire("QB2" + digits)});
        QByteArray written;
        QVERIFY(ReadMsdFirstBytes(kPattern1, &written));
        QCOMPARE(CheckerBytes(Body(frames[0]).mid(3)), written.left(bits / 8));
    }

    void cellReplyCarriesAllFourLinesOneDigitPerCell() {
        UnitModel unit = OnlineUnit(128);
        for (const char* write : {"QW0003", "QW2003", "QW1013", "QW3013", "QW0013", "QW37F3"}) {
            Ask(unit, write, 100);
        }
        Ask(unit, "QW3FF3", 100); // beyond the 128 reported cells
        const QList<QByteArray> frames = Ask(unit, "QA", 200);
        QCOMPARE(frames.size(), 1);
        const QByteArray cells = Body(frames[0]);
        QCOMPARE(cells.size(), 2 + 128);
        QCOMPARE(cells.left(4), QByteArray("QD5B"));
        QCOMPARE(cells.at(2 + 0x7F), '8');
        QCOMPARE(cells.mid(4, 0x7F - 2), QByteArray(0x7F - 2, '0'));
    }

    void writesChangeTheLineMemory_data() {
        QTest::addColumn<QByteArrayList>("commands");
        QTest::addColumn<QByteArray>("line1"); // the 32 bytes of line 1 afterwards
        QTest::addColumn<QByteArray>("lastReply");
        const QByteArray ones(32, '\xFF');
        QByteArray bit2A(32, '\0');
        bit2A[5] = 0x04; // cell 0x2A = byte 5, bit 2
        QByteArray halfRowB(32, '\0');
        halfRowB[0xB8 / 8] = '\xFF';
        QByteArray atOffset(32, '\0');
        atOffset[30] = '\x12';
        atOffset[31] = '\x34';
        QTest::newRow("line write")
            << QByteArrayList{"Q:100" + QByteArray(64, 'F')} << ones << QByteArray("QX:");
        QTest::newRow("set bit") << QByteArrayList{"QW12A3"} << bit2A << QByteArray("QXW");
        QTest::newRow("clear bit") << QByteArrayList{"Q:100" + QByteArray(64, 'F'), "QW12A2"}
                                   << QByteArray(ones).replace(5, 1, "\xFB") << QByteArray("QXW");
        QTest::newRow("half row") << QByteArrayList{"QM1B8FF"} << halfRowB << QByteArray("QXM");
        QTest::newRow("half row cleared")
            << QByteArrayList{"Q:100" + QByteArray(64, 'F'), "QM1B800"}
            << QByteArray(ones).replace(0xB8 / 8, 1, QByteArray(1, '\0')) << QByteArray("QXM");
        QTest::newRow("write at an offset")
            << QByteArrayList{"Q:11E1234"} << atOffset << QByteArray("QX:");
        QTest::newRow("memory clear") << QByteArrayList{"Q:100" + QByteArray(64, 'F'), "QC"}
                                      << QByteArray(32, '\0') << QByteArray("QXC");
        QTest::newRow("write past the end refused")
            << QByteArrayList{"Q:11F1234"} << QByteArray(32, '\0') << QByteArray("Q!:");
        QTest::newRow("odd digit count refused")
            << QByteArrayList{"Q:100123"} << QByteArray(32, '\0') << QByteArray("Q!:");
        QTest::newRow("line 4 refused") << QByteArrayList{"Q:400" + QByteArray(64, 'F')}
                                        << QByteArray(32, '\0') << QByteArray("Q!:");
        QTest::newRow("bad bit state refused")
            << QByteArrayList{"QW12A4"} << QByteArray(32, '\0') << QByteArray("Q!W");
        QTest::newRow("half row off its boundary refused")
            << QByteArrayList{"QM1B4FF"} << QByteArray(32, '\0') << QByteArray("Q!M");
    }
    void writesChangeTheLineMemory() {
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArray, line1);
        QFETCH(QByteArray, lastReply);
        UnitModel unit = OnlineUnit();
        Ask(unit, "Q:000" + QByteArray(64, 'F'), 10); // line 0 must survive line 1 writes
        QList<QByteArray> frames;
        qint64 t = 100;
        for (const QByteArray& command : commands) {
            frames = Ask(unit, command, t += 100);
        }
        QCOMPARE(unit.Line(1), line1);
        QCOMPARE(frames, QList<QByteArray>{Wire(lastReply)});
        QCOMPARE(unit.Line(0), lastReply == "QXC" ? QByteArray(32, '\0') : QByteArray(32, '\xFF'));
    }

    void recordsCarryUnitNumberChecksumAndMCode() {
        UnitModel unit = OnlineUnit();
        Ask(unit, "QRF0A", 1000);
        for (int index = 1; index <= 10; ++index) {
            const QByteArray index2 =
                QByteArray::number(index, 16).toUpper().rightJustified(2, '0');
            const QList<QByteArray> frames = Ask(unit, "Qf0" + index2, 60000 + 100 * index);
            QCOMPARE(frames.size(), 1);
            const QByteArray body = Body(frames[0]);
            QCOMPARE(body.left(5), "Qf0" + index2);
            QCOMPARE(body.size(), 5 + 64);
            const QByteArray r = CheckerBytes(body.mid(5));
            QCOMPARE(int(r[0]), index);
            QCOMPARE(int(r[1]), index);
            int sum = 0;
            for (int i = 1; i <= 13; ++i) {
                sum += static_cast<unsigned char>(r[i]);
            }
            QCOMPARE(static_cast<unsigned char>(r[14]), sum & 0xFF);
            const int kind = static_cast<int>(unit.Config().Inputs[index - 1]);
            QCOMPARE((static_cast<unsigned char>(r[31]) / 4) & 31, kind);
        }
    }

    void recordDataLookLikeTheirInputType() {
        UnitModel unit = OnlineUnit();
        Ask(unit, "QRF0A", 0);
        auto data = [&unit](int index, qint64 at) {
            const QList<QByteArray> f =
                Ask(unit, "Qf00" + QByteArray::number(index, 16).toUpper(), at);
            return Body(f.value(0)).mid(5);
        };
        // Unit 8 is a water meter: eight decimal digits, point after the fifth.
        const QByteArray water = CheckerBytes(data(8, 1000));
        QCOMPARE(water.mid(2, 4), QByteArray("\x00\x21\x43\x65", 4));
        QCOMPARE(int(water[6]) & 15, 5);
        // Unit 2 is a thermistor unit: divider millivolts of about 20..30 degrees.
        const QByteArray tmp = data(2, 30000);
        for (int d = 0; d < 8; ++d) {
            QVERIFY2(CheckerValue(tmp, d) > 1000 && CheckerValue(tmp, d) < 1300,
                     qPrintable(QString::number(CheckerValue(tmp, d))));
        }
        // Unit 4 is a 4-20 mA unit: 200 counts a milliampere.
        const QByteArray current = data(4, 30000);
        for (int d = 0; d < 8; ++d) {
            QVERIFY(CheckerValue(current, d) >= 4 * 200 - 100);
            QVERIFY(CheckerValue(current, d) <= 20 * 200 + 100);
        }
        // Unit 5 counts: its first counter has grown 20 s later.
        auto count1 = [](const QByteArray& digits) {
            const QByteArray b = CheckerBytes(digits);
            return static_cast<unsigned char>(b[2]) + 256 * static_cast<unsigned char>(b[3]) +
                   65536 * static_cast<unsigned char>(b[4]);
        };
        const int early = count1(data(5, 40000));
        QCOMPARE(count1(data(5, 60000)) - early, 20);
    }

    void recordScanStartsAndStops() {
        UnitModel unit = OnlineUnit();
        const QByteArray empty = Body(Ask(unit, "Qf003", 5000).value(0));
        QCOMPARE(CheckerBytes(empty.mid(5)).mid(2, 12), QByteArray(12, '\0')); // never sampled
        QCOMPARE(Ask(unit, "QRF02", 6000), QList<QByteArray>{Wire("QXRF")});
        QVERIFY(unit.RecordScanRunning());
        QCOMPARE(CheckerBytes(Body(Ask(unit, "Qf003", 7000).value(0)).mid(5)).mid(2, 12),
                 QByteArray(12, '\0')); // beyond the scanned count
        QCOMPARE(Ask(unit, "QRD00", 8000), QList<QByteArray>{Wire("QXRD")});
        QVERIFY(!unit.RecordScanRunning());
        const QByteArray frozen = Body(Ask(unit, "Qf002", 9000).value(0));
        QVERIFY(CheckerBytes(frozen.mid(5)).mid(2, 12) != QByteArray(12, '\0'));
        QCOMPARE(Body(Ask(unit, "Qf002", 90000).value(0)), frozen);
        QCOMPARE(Ask(unit, "QRF00", 91000), QList<QByteArray>{Wire("Q!RF")});
    }

    void counterCountsWrapsAndClears() {
        UnitModel unit = OnlineUnit();
        QCOMPARE(Ask(unit, "QG", 10000), QList<QByteArray>{Wire("QG0003E8")}); // 100 a second
        QCOMPARE(Ask(unit, "QE", 20000), QList<QByteArray>{Wire("QXE")});
        QCOMPARE(Ask(unit, "QG", 22000), QList<QByteArray>{Wire("QG0000C8")});
        QCOMPARE(Ask(unit, "QG", 20000 + 167772160 + 500), QList<QByteArray>{Wire("QG000032")});
    }

    void faultsAreReadFromTheirCommandLineText_data() {
        QTest::addColumn<QStringList>("texts"); // read in turn into one set of faults
        QTest::addColumn<bool>("lastAccepted");
        QTest::addColumn<int>("stuckCell");
        QTest::addColumn<int>("stuckValue");
        QTest::addColumn<int>("stuckLine");
        QTest::addColumn<bool>("noCounter");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QByteArrayList>("spoilFirst");
        QTest::addColumn<QByteArrayList>("dropLfFirst");
        const QByteArrayList none;
        QTest::newRow("stuck bit reads 1")
            << QStringList{"stuck-bit=0"} << true << 0 << 1 << -1 << false << 0 << none << none;
        QTest::newRow("stuck bit at 0") << QStringList{"stuck-bit=255:0"} << true << 255 << 0 << -1
                                        << false << 0 << none << none;
        QTest::newRow("stuck bit on Line3 only") << QStringList{"stuck-bit=42:0@3"} << true << 42
                                                 << 0 << 2 << false << 0 << none << none;
        QTest::newRow("faults add up")
            << QStringList{"no-counter", "bad-checksum=50", "stuck-bit=3:0", "spoil-first=QG",
                           "drop-lf-first=QG"}
            << true << 3 << 0 << -1 << true << 50 << QByteArrayList{"QG"} << QByteArrayList{"QG"};
        QTest::newRow("no damaged replies")
            << QStringList{"bad-checksum=0"} << true << -1 << 1 << -1 << false << 0 << none << none;
        QTest::newRow("every reply damaged") << QStringList{"bad-checksum=100"} << true << -1 << 1
                                             << -1 << false << 100 << none << none;
        QTest::newRow("same stuck bit twice") << QStringList{"stuck-bit=9", "stuck-bit=9:1"} << true
                                              << 9 << 1 << -1 << false << 0 << none << none;
        QTest::newRow("same stuck bit on one line twice")
            << QStringList{"stuck-bit=9@4", "stuck-bit=9:1@4"} << true << 9 << 1 << 3 << false << 0
            << none << none;
        QTest::newRow("spoiled codes add up, each once")
            << QStringList{"spoil-first=QV", "spoil-first=Qf", "spoil-first=QV", "spoil-first=QF"}
            << true << -1 << 1 << -1 << false << 0 << QByteArrayList{"QV", "Qf", "QF"} << none;
        QTest::newRow("codes without LF add up")
            << QStringList{"drop-lf-first=QD", "drop-lf-first=QB", "drop-lf-first=Q!"} << true << -1
            << 1 << -1 << false << 0 << none << QByteArrayList{"QD", "QB", "Q!"};
        // Refused texts leave what was read before as it was.
        QTest::newRow("second stuck bit") << QStringList{"stuck-bit=9", "stuck-bit=10"} << false
                                          << 9 << 1 << -1 << false << 0 << none << none;
        QTest::newRow("stuck bit on another line")
            << QStringList{"stuck-bit=9@2", "stuck-bit=9"} << false << 9 << 1 << 1 << false << 0
            << none << none;
        QTest::newRow("cell 256") << QStringList{"stuck-bit=256"} << false << -1 << 1 << -1 << false
                                  << 0 << none << none;
        QTest::newRow("percent 101") << QStringList{"bad-checksum=20", "bad-checksum=101"} << false
                                     << -1 << 1 << -1 << false << 20 << none << none;
        QTest::newRow("code of three characters")
            << QStringList{"spoil-first=QV", "spoil-first=QVX"} << false << -1 << 1 << -1 << false
            << 0 << QByteArrayList{"QV"} << none;
        for (const char* bad : {"stuck-bit",
                                "stuck-bit=",
                                "bad-checksum",
                                "bad-checksum=",
                                "stuck-bit=4:2",
                                "stuck-bit=4:",
                                "stuck-bit=4:01",
                                "stuck-bit=-1",
                                "stuck-bit=0x10",
                                "stuck-bit= 4",
                                "stuck-bit=4@0",
                                "stuck-bit=4@5",
                                "stuck-bit=4@",
                                "stuck-bit=4@1:0",
                                "stuck-bit=@1",
                                "stuck-bit=4:1@",
                                "bad-checksum=5%",
                                "no-counter=1",
                                "No-Counter",
                                "open-line",
                                "spoil-first",
                                "spoil-first=",
                                "spoil-first=Q",
                                "spoil-first=qv",
                                "spoil-first=XV",
                                "spoil-first=Q ",
                                "drop-lf-first",
                                "drop-lf-first=V",
                                "drop-lf-first=\r\nQV",
                                "drop-lf=QV",
                                ""}) {
            QTest::newRow(bad) << QStringList{bad} << false << -1 << 1 << -1 << false << 0 << none
                               << none;
        }
    }
    void faultsAreReadFromTheirCommandLineText() {
        QFETCH(QStringList, texts);
        QFETCH(bool, lastAccepted);
        QFETCH(int, stuckCell);
        QFETCH(int, stuckValue);
        QFETCH(int, stuckLine);
        QFETCH(bool, noCounter);
        QFETCH(int, percent);
        QFETCH(QByteArrayList, spoilFirst);
        QFETCH(QByteArrayList, dropLfFirst);
        UnitFaults faults;
        QString error;
        for (qsizetype i = 0; i + 1 < texts.size(); ++i) {
            QVERIFY2(ParseUnitFault(texts[i], &faults, &error), qPrintable(error));
        }
        error.clear();
        QCOMPARE(ParseUnitFault(texts.last(), &faults, &error), lastAccepted);
        QCOMPARE(error.isEmpty(), lastAccepted);
        QCOMPARE(faults.StuckCell, stuckCell);
        QCOMPARE(faults.StuckValue, stuckValue);
        QCOMPARE(faults.StuckLine, stuckLine);
        QCOMPARE(faults.NoCounter, noCounter);
        QCOMPARE(faults.BadChecksumPercent, percent);
        QCOMPARE(faults.SpoilFirst, spoilFirst);
        QCOMPARE(faults.DropLfFirst, dropLfFirst);
    }

    void stuckCellShowsInTheRepliesButNotInTheMemory_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stuckLine"); // 0..3, or -1 for all four
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("lineDigits"); // of the "QB" reply
        QTest::addColumn<QByteArray>("cells");      // of the "QA" reply, after "QD"
        QTest::addColumn<QByteArray>("memory");     // the line as written
        QTest::newRow("stuck at 0 in a line of ones")
            << 256 << 0x2A << 0 << -1 << QByteArrayList{"Q:100" + QByteArray(64, 'F')} << 1
            << QByteArray(10, 'F') + "BF" + QByteArray(52, 'F')
            << QByteArray(0x2A, '2') + "0" + QByteArray(256 - 0x2B, '2') << QByteArray(32, '\xFF');
        QTest::newRow("stuck at 1 after a clear")
            << 256 << 0 << 1 << -1 << QByteArrayList{"Q:300" + QByteArray(64, 'F'), "QC"} << 3
            << "10" + QByteArray(62, '0') << "F" + QByteArray(255, '0') << QByteArray(32, '\0');
        QTest::newRow("stuck at 1 in a bit written 0")
            << 32 << 9 << 1 << -1 << QByteArrayList{"QW2093", "QW2092"} << 2
            << QByteArray("00200000") << QByteArray(9, '0') + "F" + QByteArray(22, '0')
            << QByteArray(32, '\0');
        // Stuck on one line: only that line's bit of the cell digit, and the
        // other lines' replies show the cell as written.
        QTest::newRow("stuck at 1 on Line3, asked on Line3")
            << 64 << 12 << 1 << 2 << QByteArrayList{"QW30D3"} << 2 << "0001" + QByteArray(12, '0')
            << QByteArray(12, '0') + "48" + QByteArray(50, '0') << QByteArray(32, '\0');
        QTest::newRow("stuck at 1 on Line3, Line4 as written")
            << 64 << 12 << 1 << 2 << QByteArrayList{"QW30D3"} << 3 << "0002" + QByteArray(12, '0')
            << QByteArray(12, '0') + "48" + QByteArray(50, '0')
            << QByteArray("\0\x20", 2) + QByteArray(30, '\0');
    }
    void stuckCellShowsInTheRepliesButNotInTheMemory() {
        QFETCH(int, bits);
        QFETCH(int, cell);
        QFETCH(int, value);
        QFETCH(int, stuckLine);
        QFETCH(QByteArrayList, writes);
        QFETCH(int, line);
        QFETCH(QByteArray, lineDigits);
        QFETCH(QByteArray, cells);
        QFETCH(QByteArray, memory);
        UnitFaults faults;
        faults.StuckCell = cell;
        faults.StuckValue = value;
        faults.StuckLine = stuckLine;
        UnitModel unit = OnlineUnit(bits, faults);
        qint64 t = 0;
        for (const QByteArray& write : writes) {
            QCOMPARE(Ask(unit, write, t += 100).size(), 1);
        }
        const QByteArray digit = QByteArray::number(line);
        QCOMPARE(Ask(unit, "QB" + digit, t += 100),
                 QList<QByteArray>{Wire("QB" + digit + lineDigits)});
        QCOMPARE(Ask(unit, "QA", t += 1000), QList<QByteArray>{Wire("QD" + cells)});
        QCOMPARE(unit.Line(line), memory);
    }

    void unitWithoutCounterDoesNotKnowItsCommands() {
        UnitFaults faults;
        faults.NoCounter = true;
        UnitModel unit = OnlineUnit(256, faults);
        QCOMPARE(Ask(unit, "QG", 10000), QList<QByteArray>{Wire("Q?QG")});
        QCOMPARE(Ask(unit, "QE", 11000), QList<QByteArray>{Wire("Q?QE")});
        QCOMPARE(Ask(unit, "QC", 12000), QList<QByteArray>{Wire("QXC")});
    }

    void unitRestartsOnceOnItsFaultsCommand() {
        UnitFaults faults;
        QString error;
        QVERIFY(!ParseUnitFault(u"restart-on=G", &faults, &error));
        QVERIFY(!ParseUnitFault(u"restart-on", &faults, &error));
        QVERIFY2(ParseUnitFault(u"restart-on=QG", &faults, &error), qPrintable(error));
        UnitModel unit = OnlineUnit(256, faults);
        QCOMPARE(Ask(unit, "Q:000FF", 1000), QList<QByteArray>{Wire("QX:")});
        // The first counter request finds the unit restarting: no answer, and
        // what was written is gone.
        QCOMPARE(Ask(unit, "QG", 2000), QList<QByteArray>{});
        QCOMPARE(unit.Line(0), QByteArray(32, '\0'));
        // Only once: the next request is answered, from a counter started afresh.
        QCOMPARE(Ask(unit, "QG", 3000), QList<QByteArray>{Wire("QG000064")});
    }

    void faultyRepliesAreSpoiledWhereTheirFaultSays_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QByteArrayList>("spoilFirst");
        QTest::addColumn<QByteArrayList>("dropLfFirst");
        QTest::addColumn<QList<int>>("spoiled");   // replies 1..10 since power-on
        QTest::addColumn<QList<int>>("lfDropped"); // replies 1..10 sent without the closing LF
        // The replies' codes: QV QB QG Q? QX QD Qf QX Qy QV.
        const QByteArrayList none;
        QTest::newRow("0 %") << 0 << none << none << QList<int>{} << QList<int>{};
        QTest::newRow("33 %") << 33 << none << none << QList<int>{4, 7, 10} << QList<int>{};
        QTest::newRow("50 %") << 50 << none << none << QList<int>{2, 4, 6, 8, 10} << QList<int>{};
        QTest::newRow("100 %") << 100 << none << none << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                               << QList<int>{};
        QTest::newRow("first QX, first Qf")
            << 0 << QByteArrayList{"QX", "Qf"} << none << QList<int>{5, 7} << QList<int>{};
        QTest::newRow("first QV and 50 %")
            << 50 << QByteArrayList{"QV"} << none << QList<int>{1, 2, 4, 6, 8, 10} << QList<int>{};
        QTest::newRow("first QB spoiled once at 100 %")
            << 100 << QByteArrayList{"QB"} << none << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
            << QList<int>{};
        QTest::newRow("first QV, first Q? without LF")
            << 0 << none << QByteArrayList{"QV", "Q?"} << QList<int>{} << QList<int>{1, 4};
        QTest::newRow("first QG spoiled and without LF")
            << 0 << QByteArrayList{"QG"} << QByteArrayList{"QG", "QX"} << QList<int>{3}
            << QList<int>{3, 5};
    }
    void faultyRepliesAreSpoiledWhereTheirFaultSays() {
        QFETCH(int, percent);
        QFETCH(QByteArrayList, spoilFirst);
        QFETCH(QByteArrayList, dropLfFirst);
        QFETCH(QList<int>, spoiled);
        QFETCH(QList<int>, lfDropped);
        UnitFaults faults;
        faults.BadChecksumPercent = percent;
        faults.SpoilFirst = spoilFirst;
        faults.DropLfFirst = dropLfFirst;
        UnitModel unit = OnlineUnit(256, faults);
        UnitModel healthy = OnlineUnit(256); // asked the same at the same times
        const QByteArrayList commands{"QV", "QB0",   "QG", "QX1", "QW0003",
                                      "QA", "Qf001", "QC", "Qy",  "QV"};
        auto check = [&](int n, qint64 at) {
            const QList<QByteArray> frames = Ask(unit, commands[n - 1], at);
            const QList<QByteArray> rightFrames = Ask(healthy, commands[n - 1], at);
            QCOMPARE(frames.size(), 1);
            QCOMPARE(rightFrames.size(), 1);
            const QByteArray& frame = frames[0];
            const QByteArray& right = rightFrames[0];
            const QString which = QString::number(n);
            // Only the LF after the closing CR may be missing, and only the two
            // checksum characters may differ.
            QByteArray expectedText = right.chopped(2);
            if (lfDropped.contains(n)) {
                QCOMPARE(expectedText.right(2), QByteArray("\r\n"));
                expectedText.chop(1);
            }
            QCOMPARE(frame.chopped(2), expectedText);
            QVERIFY2((frame.right(2) != right.right(2)) == spoiled.contains(n), qPrintable(which));
            // The checker's receiver refuses a reply without its LF, and calls a
            // spoiled one a checksum error, not a broken frame.
            ReplyReceiver::Rejection why = ReplyReceiver::Rejection::None;
            const ReplyReceiver::Result verdict = CheckerVerdict(frame, &why);
            if (lfDropped.contains(n)) {
                QCOMPARE(verdict, ReplyReceiver::Result::Rejected);
                QCOMPARE(why, ReplyReceiver::Rejection::NoLfAfterCr);
            } else if (spoiled.contains(n)) {
                QCOMPARE(verdict, ReplyReceiver::Result::ChecksumError);
            } else {
                QCOMPARE(verdict, ReplyReceiver::Result::Accepted);
            }
        };
        qint64 t = 0;
        for (int n = 1; n <= 10; ++n) {
            check(n, t += 1000);
            if (QTest::currentTestFailed()) {
                return;
            }
        }
        QCOMPARE(unit.BadChecksumsSent(), spoiled.size());
        // Power-on starts the faults over: reply 1 is faulty again where it was.
        unit.PowerOn(t += 1000);
        healthy.PowerOn(t);
        check(1, t += 1000);
        if (QTest::currentTestFailed()) {
            return;
        }
        // Modem lines carry no checksum and go out as they are.
        UnitConfig lup = Config(UnitFamily::Lup);
        lup.Faults = faults;
        UnitModel modemUnit(lup);
        modemUnit.PowerOn(0);
        QCOMPARE(modemUnit.TakeDueFrames(1000), QList<QByteArray>{"AT&F\r"});
    }

    void sensorRepliesKeepTheirLayouts() {
        UnitModel unit = OnlineUnit();
        const QByteArray y = Body(Ask(unit, "Qy", 1000).value(0));
        QCOMPARE(y.size(), 22 - 2); // up to character 22 of the frame text
        for (int i = 0; i < 4; ++i) {
            const int mv = y.mid(2 + 4 * i, 4).toInt(nullptr, 16);
            QVERIFY(mv > 1000 && mv < 1300);
        }
        QCOMPARE(Body(Ask(unit, "Qw", 1100).value(0)).size(), 4);
        const QByteArray z = Body(Ask(unit, "Qz3", 1200).value(0));
        QCOMPARE(z.size(), 13 - 2);
        QCOMPARE(z.left(3), QByteArray("Qz3"));
        QCOMPARE(Ask(unit, "Qz9", 1300), QList<QByteArray>{Wire("Q!z")});
        QCOMPARE(Ask(unit, "QT", 1400), QList<QByteArray>{Wire("Q?QT")});
    }

    void framesWithoutARightChecksumAreIgnored() {
        UnitModel unit = OnlineUnit();
        QByteArray wrong = Wire("QV");
        wrong[wrong.size() - 1] = wrong.back() == '0' ? '1' : '0';
        unit.Receive(wrong, 100);
        unit.Receive("\r\nQV\r\n", 200); // no checksum at all
        unit.Receive("junk", 300);
        QCOMPARE(unit.TakeDueFrames(5000), QList<QByteArray>{});
        QCOMPARE(unit.BadChecksumCount(), 1);
        QVERIFY(unit.Commands().isEmpty());
        // The unit finds its feet again at the next frame, checksum in either case.
        QByteArray lower = Wire("QC");
        lower = lower.left(lower.size() - 2) + lower.right(2).toLower();
        QCOMPARE(Ask(unit, "QV", 6000).size(), 1);
        unit.Receive(lower, 7000);
        QCOMPARE(unit.TakeDueFrames(8000), QList<QByteArray>{Wire("QXC")});
    }

    void everyFrameSentCarriesItsByteSum() {
        UnitModel unit = OnlineUnit();
        Ask(unit, "QRF05", 10);
        for (const char* command : {"QV", "QA", "QB0", "Qf001", "Qf00A", "QG", "Qy", "QX1"}) {
            for (const QByteArray& frame : Ask(unit, command, 1000)) {
                QCOMPARE(frame, Wire(Body(frame)));
            }
        }
    }

    void modemUnitSetsUpAnswersVersionAndConnects() {
        UnitConfig config;
        config.Family = UnitFamily::Lup;
        UnitModel unit(config);
        unit.PowerOn(0);
        QCOMPARE(unit.TakeDueFrames(UnitModel::kBootMs - 1), QList<QByteArray>{});
        QCOMPARE(unit.TakeDueFrames(UnitModel::kBootMs), QList<QByteArray>{"AT&F\r"});
        QCOMPARE(Ask(unit, "QV", 400, 2000), QList<QByteArray>{}); // still setting up
        unit.Receive("\r\nOK\r\n", 500);
        QCOMPARE(unit.TakeDueFrames(599), QList<QByteArray>{});
        QCOMPARE(unit.TakeDueFrames(600), QList<QByteArray>{"ATH0\r"});
        QCOMPARE(unit.State(), UnitState::ModemSetup);
        unit.Receive("\r\nOK\r\n", 700);
        QCOMPARE(unit.State(), UnitState::Idle);
        QCOMPARE(Ask(unit, "QB0", 1000), QList<QByteArray>{}); // on-hook: only QV gets through
        QCOMPARE(Ask(unit, "QV", 1100).size(), 1);
        unit.Receive("\r\nRING\r\n", 1300);
        unit.Receive("\r\nCONNECT\r\n", 1500);
        QCOMPARE(Ask(unit, "QJD", 1700), QList<QByteArray>{Wire("QXJD")});
        QCOMPARE(Ask(unit, "QND", 1900), QList<QByteArray>{Wire("QXND")});
        QVERIFY(!unit.Connected());
        QCOMPARE(Ask(unit, "QRD", 2100), QList<QByteArray>{Wire("QXRD")});
        QVERIFY(unit.Connected());
        QCOMPARE(unit.Commands(),
                 (QByteArrayList{"OK", "OK", "QV", "RING", "CONNECT", "QJD", "QND", "QRD"}));
        QCOMPARE(Ask(unit, "QF", 2300), QList<QByteArray>{Wire("QXF")}); // Reset ends it
        QCOMPARE(unit.State(), UnitState::Idle);
        unit.Receive("\r\nRING\r\n\r\nCONNECT\r\n", 2500);
        Ask(unit, "QRD", 2700);
        QVERIFY(unit.Connected());
        unit.Receive("\r\nNO CARRIER\r\n", 2900);
        QCOMPARE(unit.State(), UnitState::Idle);
    }

    void modemSetUpStartsAgainWithoutAnswer() {
        UnitModel unit(Config(UnitFamily::Rav));
        unit.PowerOn(0);
        QCOMPARE(unit.TakeDueFrames(1000), QList<QByteArray>{"AT&F\r"});
        const qint64 retry = unit.NextWakeMs();
        QVERIFY(retry >= UnitModel::kBootMs + UnitModel::kSetupRetryMs);
        unit.Tick(retry - 1);
        QCOMPARE(unit.TakeDueFrames(retry + 1000), QList<QByteArray>{});
        unit.Tick(retry);
        QCOMPARE(unit.TakeDueFrames(retry + 1000), QList<QByteArray>{"AT&F\r"});
    }

    void zelUnitIsSilentAtPowerOn() {
        UnitModel unit = OnlineUnit();
        unit.Tick(60000);
        QCOMPARE(unit.TakeDueFrames(60000), QList<QByteArray>{});
        QCOMPARE(unit.NextWakeMs(), -1);
        QVERIFY(unit.Connected());
    }

    void repliesAreSpacedAndBounded() {
        UnitConfig config;
        config.ByteTimeUs = kPacedByteTimeUs;
        UnitModel unit(config);
        unit.PowerOn(0);
        unit.Receive(Wire("QA") + Wire("QV"), 1000);
        const qint64 first = unit.NextWakeMs();
        QCOMPARE(first, 1000 + UnitModel::kReplyDelayMs);
        const QByteArray qd = unit.TakeDueFrames(first).value(0);
        QCOMPARE(qd.size(), 6 + 256 + 2);
        // The QD reply is 264 bytes, 275 ms on the wire; the next waits for it.
        QCOMPARE(unit.NextWakeMs(), first + unit.WireMs(qd.size()) + UnitModel::kGapAfterReplyMs);
        QVERIFY(unit.WireMs(qd.size()) >= 275);

        QByteArray flood;
        for (int i = 0; i < 20; ++i) {
            flood += Wire("QG");
        }
        unit.Receive(flood, 2000);
        QCOMPARE(unit.QueuedFrameCount(), UnitModel::kMaxQueuedFrames);
        QCOMPARE(unit.DroppedReplyCount(), 20 + 1 - UnitModel::kMaxQueuedFrames);

        // Replies that would leave more than a second late are dropped too.
        unit.TakeDueFrames(10000);
        unit.Receive(Wire("QA") + Wire("QA") + Wire("QA") + Wire("QA") + Wire("QA"), 20000);
        QCOMPARE(unit.QueuedFrameCount(), 4);
        QCOMPARE(unit.DroppedReplyCount(), 20 + 1 - UnitModel::kMaxQueuedFrames + 1);
    }

    void damageChangesOnlyWhatItsKindSays_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("two bytes") << QByteArray("\r\n");
        QTest::newRow("version request") << Wire("QV");
        QTest::newRow("bit scan reply") << Wire("QB0" + QByteArray(64, '5'));
        QTest::newRow("cell reply") << Wire("QD" + QByteArray(256, 'A'));
    }
    void damageChangesOnlyWhatItsKindSays() {
        QFETCH(QByteArray, frame);
        DamageSettings settings;
        settings.Percent = 100;
        settings.PauseMs = 35;
        std::mt19937 rng(7);
        QSet<int> seen;
        for (int draw = 0; draw < 300; ++draw) {
            const FrameDamage d = ChooseDamage(frame.size(), settings, rng);
            const OutgoingFrame out = ApplyDamage(frame, d);
            QCOMPARE(out.Damage.Kind, d.Kind);
            seen.insert(static_cast<int>(d.Kind));
            switch (d.Kind) {
            case DamageKind::FlippedBit: {
                QCOMPARE(out.Bytes.size(), frame.size());
                QVERIFY(d.Position >= 0 && d.Position < frame.size());
                for (qsizetype i = 0; i < frame.size(); ++i) {
                    const int diff = (out.Bytes[i] ^ frame[i]) & 0xFF;
                    QCOMPARE(diff, i == d.Position ? 1 << d.Bit : 0);
                }
                QVERIFY(out.Damage.PauseAt.isEmpty());
                break;
            }
            case DamageKind::DroppedByte:
                QVERIFY(d.Position >= 0 && d.Position < frame.size());
                QCOMPARE(out.Bytes, frame.left(d.Position) + frame.mid(d.Position + 1));
                break;
            case DamageKind::Pause:
                QCOMPARE(out.Bytes, frame);
                QCOMPARE(out.Damage.PauseMs, 35);
                QVERIFY(!d.PauseAt.isEmpty() && d.PauseAt.size() <= settings.MaxPauses);
                // Strictly inside the frame, each place once, in order.
                QVERIFY(d.PauseAt.first() >= 1 && d.PauseAt.last() <= frame.size() - 1);
                for (qsizetype i = 1; i < d.PauseAt.size(); ++i) {
                    QVERIFY(d.PauseAt[i - 1] < d.PauseAt[i]);
                }
                break;
            case DamageKind::None:
                QFAIL("every frame was to be damaged");
            }
        }
        QCOMPARE(seen.size(), 3);
        // A single byte has no inside: it goes out as it is.
        QCOMPARE(ChooseDamage(1, settings, rng).Kind, DamageKind::None);
    }

    void damageHitsItsShareAndRepeatsWithItsSeed() {
        const QByteArray frame = Wire("QB0" + QByteArray(64, '0'));
        const auto run = [&](double percent, uint32_t seed) {
            DamageSettings settings;
            settings.Percent = percent;
            std::mt19937 rng(seed);
            QStringList descriptions;
            for (int i = 0; i < 20000; ++i) {
                descriptions << DescribeDamage(ChooseDamage(frame.size(), settings, rng));
            }
            return descriptions;
        };
        const auto damaged = [](const QStringList& d) {
            return d.size() - d.count(QStringLiteral("none"));
        };
        QCOMPARE(damaged(run(0, 1)), 0);
        QCOMPARE(damaged(run(100, 1)), 20000);
        const QStringList some = run(2.5, 1);
        QVERIFY2(damaged(some) > 400 && damaged(some) < 600,
                 qPrintable(QString::number(damaged(some))));
        QCOMPARE(run(2.5, 1), some);
        QVERIFY(run(2.5, 2) != some);
    }
};

QTEST_GUILESS_MAIN(TestUnitModel)
#include "test_unit_model.moc"
