// The simulated unit on the virtual clock behind the fake port: its replies
// leave at their due time, byte after byte at the byte time of the line, or
// all at once on an unpaced line. (A unit powered on later is judged in the
// unit check's verdicts.)
#include "VirtualUnit.h"

#include <QTest>

namespace {

constexpr qint64 kUs = 1000; // ns

// Moves the line on to t microseconds of the clock, running what is due by then.
void LineTo(VirtualClock& clock, qint64 t) {
    clock.Hold(static_cast<int>(t - clock.NowNs() / kUs));
}

struct Bench {
    VirtualClock Clock;
    FakeSerialControl Serial{&Clock};
    explicit Bench() { Serial.SetPortOpen(true); }
};

} // namespace

class TestVirtualUnit : public QObject {
    Q_OBJECT
private slots:
    void aReplyLeavesAtItsTimeByteAfterByte_data() {
        QTest::addColumn<int>("byteUs");
        QTest::newRow("paced at 9600 baud") << kPacedByteTimeUs;
        QTest::newRow("unpaced") << 0;
    }
    void aReplyLeavesAtItsTimeByteAfterByte() {
        QFETCH(int, byteUs);
        Bench b;
        UnitConfig config;
        config.ByteTimeUs = byteUs;
        VirtualUnit unit(b.Clock, b.Serial, config);
        unit.PowerOn();
        b.Serial.Output(Wire("QV"));
        const qint64 startUs = UnitModel::kReplyDelayMs * 1000;
        LineTo(b.Clock, startUs - 1);
        QVERIFY(b.Serial.Incoming.isEmpty());
        LineTo(b.Clock, startUs);
        if (byteUs == 0) {
            QVERIFY(b.Serial.Incoming.startsWith("\r\nQV"));
            QCOMPARE(unit.FramesSent, 1);
            return;
        }
        QCOMPARE(b.Serial.Incoming.size(), 1);
        for (int k = 1; k < 30; ++k) {
            LineTo(b.Clock, startUs + qint64{k} * byteUs - 1);
            QCOMPARE(b.Serial.Incoming.size(), k);
            LineTo(b.Clock, startUs + qint64{k} * byteUs);
            QCOMPARE(b.Serial.Incoming.size(), k + 1);
        }
        b.Clock.RunFor(200);
        QVERIFY(b.Serial.Incoming.startsWith("\r\nQV"));
        QCOMPARE(unit.FramesSent, 1);
        QCOMPARE(unit.Unit().Commands(), QList<QByteArray>{"QV"});
    }
};

QTEST_GUILESS_MAIN(TestVirtualUnit)
#include "test_virtual_unit.moc"
