// Reception of reply frames by the window: which frames reach the dispatcher
// and when, the Csum lamp, and what happens to bytes behind a frame.
#include "DispatchBench.h"
#include "link/Frame.h"

namespace {
// A reply with its checksum written in lower-case letters.
QByteArray LowerCaseReply(const QByteArray& codeAndData) {
    const QByteArray body = "\r\n" + codeAndData + "\r\n";
    return body + ReferenceChecksum(body).toLower();
}
} // namespace

class TestReceive : public QObject {
    Q_OBJECT
private slots:
    void eachFrameKindReachesTheDispatcherWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("counted"); // len + 1 added by the dispatcher, 0 for none
        QTest::addColumn<bool>("bySilence");
        QTest::newRow("checksummed reply") << FakeSerialControl::Reply("QX") << 6 << false;
        QTest::newRow("longer reply") << FakeSerialControl::Reply("QG12ABCD") << 12 << false;
        // The dispatcher reads one byte past the CR of a command line.
        QTest::newRow("command line") << QByteArray("ATZ0\r") << 6 << true;
        // A CR as the fourth byte is taken as data: accepted, nothing handed on.
        QTest::newRow("CR as 4th byte: lamp only") << QByteArray("ATZ\r") << 0 << true;
        QTest::newRow("result line") << QByteArray("\r\nOK\r\n") << 6 << true;
        QTest::newRow("reply without its checksum") << QByteArray("\r\nQX\r\n") << 6 << true;
        QTest::newRow("bare CR LF: lamp only") << QByteArray("\r\n") << 0 << true;
    }
    void eachFrameKindReachesTheDispatcherWhole() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, counted);
        QFETCH(bool, bySilence);
        DispatchBench f;
        const qint64 ms = f.Deliver(bytes);
        QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
        QCOMPARE(int(f.State().ByteCount), counted);
        QVERIFY(f.Serial.Writes.isEmpty());
        if (bySilence) {
            // Ended by the 60 ms silence, seen within a millisecond.
            QVERIFY2(ms >= 60 && ms <= 61, qPrintable(QString::number(ms)));
        } else {
            // Ended by its checksum: the receiver never waited for silence.
            QCOMPARE(f.Serial.SleepsOnEmptyInput, 0);
        }
    }

    void checksumDigitsAreReadInEitherCase() {
        // 0D 0A "QG000001" 0D 0A sums to E7: a letter and a digit.
        const QByteArray body = "QG000001";
        QCOMPARE(getsum("\r\n" + body + "\r\n"), QByteArray("E7"));
        for (const QByteArray& reply : {FakeSerialControl::Reply(body), LowerCaseReply(body)}) {
            DispatchBench f;
            f.Deliver(reply);
            QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
            QCOMPARE(f->Label2(5)->Caption(), QStringLiteral("1"));
        }
    }

    void aWrongChecksumLightsRedAndIsNotDispatched() {
        DispatchBench f;
        QByteArray reply = FakeSerialControl::Reply("QG12ABCD");
        reply[reply.size() - 1] = reply.back() == '0' ? '1' : '0';
        f.Deliver(reply);
        QCOMPARE(f->Label23->BackColor(), Colors::kRed);
        QCOMPARE(f->Label2(5)->Caption(), QString());
        QCOMPARE(int(f.State().ByteCount), 0);
        // A checksum character that is no hex digit is a checksum error too.
        f.Deliver(FakeSerialControl::Reply("QX").chopped(1) + "\xC1");
        QCOMPARE(f->Label23->BackColor(), Colors::kRed);
        QCOMPARE(int(f.State().ByteCount), 0);
        f.Deliver(FakeSerialControl::Reply("QG12ABCD"));
        QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
        QCOMPARE(f->Label2(5)->Caption(), QStringLiteral("1223629"));
    }

    // Rejected frames leave the lamp as it was and drop what is queued behind.
    void rejectedFramesChangeNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("first byte X") << "X" + FakeSerialControl::Reply("QG000001");
        QTest::newRow("first byte 0x8D") << "\x8D" + FakeSerialControl::Reply("QG000001");
        QTest::newRow("second byte") << "\rQ" + FakeSerialControl::Reply("QG000001");
        QTest::newRow("CR without LF") << FakeSerialControl::Reply("QG00\r0001");
        QTest::newRow("command line without CR") << QByteArray("ATZ");
        // Fewer than two bytes before the silence: there is no last pair to judge.
        QTest::newRow("lone +") << QByteArray("+");
        QTest::newRow("lone CR") << QByteArray("\r");
        QTest::newRow("lone A") << QByteArray("A");
    }
    void rejectedFramesChangeNothing() {
        QFETCH(QByteArray, bytes);
        DispatchBench f;
        // What earlier frames left in the buffer must not complete a short one.
        const QByteArray stale = "+++\r\n";
        std::copy(stale.begin(), stale.end(), f.State().ReceiveBuffer.begin());
        f->Label23->SetBackColor(Colors::kRed);
        f.Deliver(bytes);
        f.Pump(20); // any further notification would run here
        QCOMPARE(f->Label23->BackColor(), Colors::kRed);
        QCOMPARE(int(f.State().ByteCount), 0);
        QCOMPARE(f->Label2(5)->Caption(), QString());
        QVERIFY(f.Serial.Incoming.isEmpty());
        QVERIFY(f.Serial.Writes.isEmpty());
    }

    // What comes in one go behind a frame that ended at its last byte: the
    // start of another frame is received as that frame, anything else is
    // dropped with everything queued behind it. The counter shows the last
    // reply that reached the dispatcher.
    void bytesQueuedBehindAFrame_data() {
        QTest::addColumn<QByteArray>("behind");
        QTest::addColumn<QString>("shown");
        const QByteArray second = FakeSerialControl::Reply("QG000002");
        QTest::newRow("another reply") << second << "2";
        QTest::newRow("a short command line and a reply") << "AT\r" + second << "2";
        QTest::newRow("junk before a reply") << "7F" + second << "1";
        QTest::newRow("a lone LF before a reply") << "\n" + second << "1";
        // CR then no LF: no frame begins there.
        QTest::newRow("CR and junk before a reply") << "\rZ" + second << "1";
    }
    void bytesQueuedBehindAFrame() {
        QFETCH(QByteArray, behind);
        QFETCH(QString, shown);
        DispatchBench f;
        f.Deliver(FakeSerialControl::Reply("QG000001") + behind);
        f.Pump(100); // the carried frame's event and any silence
        QCOMPARE(f->Label2(5)->Caption(), shown);
        QVERIFY(f.Serial.Incoming.isEmpty());
        f.Deliver(FakeSerialControl::Reply("QG000003"));
        QCOMPARE(f->Label2(5)->Caption(), QStringLiteral("3"));
    }

    void aFrameLongerThanTheBufferIsRejectedAndTheNextIsReceived() {
        DispatchBench f;
        auto& st = f.State();
        st.ByteCount = 1234;
        st.ConnectTicks = 7;
        st.RomFamily = QStringLiteral("ZEL");
        f->Label23->SetBackColor(Colors::kRed);
        // A checksummed reply that fills the buffer to its last byte fits.
        const QByteArray fits = FakeSerialControl::Reply("QX" + QByteArray(12793, 'A'));
        QCOMPARE(fits.size(), CheckerState::kReceiveBufferSize);
        f.Deliver(fits);
        QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
        QCOMPARE(int(st.ByteCount), 1234 + 12799);
        // One byte more does not; nothing past the buffer is written.
        st.ByteCount = 1234;
        f->Label23->SetBackColor(Colors::kRed);
        f.Deliver(FakeSerialControl::Reply("QX" + QByteArray(12794, 'A')));
        f.Deliver(FakeSerialControl::Reply("QX" + QByteArray(13000, 'A')));
        QCOMPARE(f->Label23->BackColor(), Colors::kRed);
        QCOMPARE(int(st.ByteCount), 1234);
        QCOMPARE(int(st.ConnectTicks), 7);
        QCOMPARE(st.RomFamily, QStringLiteral("ZEL"));
        QVERIFY(f.Serial.Incoming.isEmpty());
        f.Deliver(FakeSerialControl::Reply("QG12ABCD"));
        QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
        QCOMPARE(f->Label2(5)->Caption(), QStringLiteral("1223629"));
    }

    // The second letter of the reply code chooses the silence budget; the
    // handler sleeps on the port while it waits for it.
    void theSilenceBudgetFollowsTheCodeWithoutSpinning_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("budget");
        QTest::newRow("QX") << QByteArray("\r\nQX12") << 60;
        QTest::newRow("QL") << QByteArray("\r\nQL12") << 600;
        QTest::newRow("Q@") << QByteArray("\r\nQ@12") << 1300;
    }
    void theSilenceBudgetFollowsTheCodeWithoutSpinning() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, budget);
        DispatchBench f;
        const qint64 ms = f.Deliver(bytes);
        QCOMPARE(ms, qint64{budget});
        // Asleep on the port for most of the wait, not pausing in short steps.
        const double sleptMs = static_cast<double>(f.Serial.SleptNs) / 1e6;
        QVERIFY2(sleptMs >= 0.7 * static_cast<double>(ms),
                 qPrintable(QStringLiteral("%1 of %2 ms").arg(sleptMs).arg(ms)));
        QCOMPARE(f->Label23->BackColor(), Colors::kWhite);
    }
};

QTEST_MAIN(TestReceive)
#include "test_receive.moc"
