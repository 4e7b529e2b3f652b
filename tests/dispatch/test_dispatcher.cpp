// The dispatcher: the modem's answers to the unit's command lines with their
// waits, frames that arrive during those waits, the counter and version
// replies.
#include "DispatchBench.h"

namespace {
struct Expected {
    QByteArray Bytes;
    int AtMs; // after the delivery of the frame
};
} // namespace
Q_DECLARE_METATYPE(QList<Expected>)

class TestDispatcher : public QObject {
    Q_OBJECT

    static void CompareWrites(const DispatchBench& f, qint64 start,
                              const QList<Expected>& expected) {
        QCOMPARE(f.Serial.Sent().size(), expected.size());
        const QList<qint64> times = f.WriteTimesFrom(start);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(f.Serial.Writes[i].Bytes, expected[i].Bytes);
            // A line ended by its silence is seen within the millisecond.
            const qint64 late = times[i] - expected[i].AtMs;
            QVERIFY2(late >= 0 && late <= 1,
                     qPrintable(QStringLiteral("write %1 at %2 ms").arg(i).arg(times[i])));
        }
    }

private slots:
    void modemLinesAreAnsweredWithTheirWaits_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<Expected>>("writes");
        QTest::addColumn<int>("counted");
        const QByteArray ok = RawLine("OK");
        const QByteArray qv = Wire("QV");
        // Lines that end by silence are handled about 60 ms after they arrive;
        // the count is the frame's len + 1, and 8 for a version request.
        QTest::newRow("AT") << QByteArray("AT\r") << QList<Expected>{{ok, 0}, {qv, 500}} << 2 + 8;
        QTest::newRow("AT&F") << QByteArray("AT&F\r") << QList<Expected>{{ok, 60}, {qv, 560}}
                              << 6 + 8;
        QTest::newRow("ATH0") << QByteArray("ATH0\r") << QList<Expected>{{ok, 60}} << 6;
        QTest::newRow("+++") << QByteArray("+++") << QList<Expected>{{ok, 1560}} << 3;
        QTest::newRow("AT#Q") << QByteArray("AT#Q1\r")
                              << QList<Expected>{{RawLine("4"), 60}, {qv, 260}} << 7 + 8;
        QTest::newRow("AT#R") << QByteArray("AT#R\r") << QList<Expected>{{qv, 60}} << 6 + 8;
        QTest::newRow("AT#X") << QByteArray("AT#X\r") << QList<Expected>{} << 6;
        QTest::newRow("ATZ0") << QByteArray("ATZ0\r") << QList<Expected>{} << 6;
        QTest::newRow("OK result") << RawLine("OK") << QList<Expected>{} << 6;
    }
    void modemLinesAreAnsweredWithTheirWaits() {
        QFETCH(QByteArray, line);
        QFETCH(QList<Expected>, writes);
        QFETCH(int, counted);
        DispatchBench f;
        const qint64 start = f.Serial.NowMs();
        f.Deliver(line);
        CompareWrites(f, start, writes);
        QCOMPARE(int(f.State().ByteCount), counted);
    }

    void aReplyDuringTheEscapeWaitIsShownBeforeTheAnswer() {
        DispatchBench f;
        const qint64 start = f.Serial.NowMs();
        f.Serial.ReceiveAfter(300, FakeSerialControl::Reply("QG12ABCD"));
        QString shown;
        qsizetype sentBy400 = -1;
        f.Clock.After(400, [&] {
            shown = f->Label2(5)->Caption();
            sentBy400 = f.Serial.Writes.size();
        });
        f.Deliver("+++");
        QCOMPARE(shown, QStringLiteral("1223629"));
        QCOMPARE(sentBy400, qsizetype(0));
        CompareWrites(f, start, {{RawLine("OK"), 1560}});
        QCOMPARE(int(f.State().ByteCount), 3 + 12);
    }

    void aVersionRequestDuringTheConnectSequenceIsAnsweredInsideIt() {
        // A LUP unit's version reply, then its modem line while the checker
        // still sends the connect sequence: the "OK" goes out between the
        // sequence's commands.
        DispatchBench f;
        const qint64 start = f.Serial.NowMs();
        f.Serial.ReceiveAfter(300, "ATH0\r");
        f.Deliver(FakeSerialControl::Reply("QV3LUPTAB13  ZEL-03  99-11-26"));
        CompareWrites(f, start,
                      {{RawLine("RING"), 0},
                       {RawLine("CONNECT"), 200},
                       {RawLine("OK"), 360},
                       {Wire("QJD"), 400},
                       {Wire("QND"), 600},
                       {Wire("QRD"), 800}});
    }

    // The window closed while a modem answer waits: the stop sequence's
    // memory clear stays the last thing the unit receives.
    void closingDuringAModemAnswerEndsIt_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("AT&F") << QByteArray("AT&F\r");
        QTest::newRow("+++") << QByteArray("+++");
        QTest::newRow("AT#Q") << QByteArray("AT#Q1\r");
    }
    void closingDuringAModemAnswerEndsIt() {
        QFETCH(QByteArray, line);
        DispatchBench f;
        f.Boxes.Answers = {true};
        f.Clock.After(100, [&] { f->mnuExit_Click(); });
        f.Deliver(line);
        QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 3000));
        f.Pump(100);
        const QList<QByteArray> sent = f.Serial.Sent();
        QVERIFY(sent.size() >= 2);
        QCOMPARE(sent.mid(sent.size() - 2), QList<QByteArray>({Wire("QRD00"), Wire("QC")}));
    }

    void theVersionReplyShowsTheRomAndConnects_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QList<Expected>>("writes");
        const QList<Expected> lup{{RawLine("RING"), 0},
                                  {RawLine("CONNECT"), 200},
                                  {Wire("QJD"), 400},
                                  {Wire("QND"), 600},
                                  {Wire("QRD"), 800}};
        QTest::newRow("LUP") << QByteArray("QV3LUPTAB13  ZEL-03  99-11-26") << "LUPTAB13   99-11-26"
                             << lup;
        // The RAV name is one character shorter; its second field starts a
        // position earlier.
        QTest::newRow("RAV") << QByteArray("QV3RAV-B13  ZEL-03  00-03-14") << "RAV-B13    00-03-14"
                             << QList<Expected>{{RawLine("RING"), 0},
                                                {RawLine("CONNECT"), 200},
                                                {Wire("QND"), 400},
                                                {Wire("QRD"), 600}};
        QTest::newRow("ZEL") << QByteArray("QV3ZEL10-13  ZEL-03  01-07-02") << "ZEL10-13   01-07-02"
                             << QList<Expected>{};
        // Too short for its fields: they are cut at the end of the text, and
        // the three letters still choose the family.
        QTest::newRow("short") << QByteArray("QV3LUP") << "LUP\r\n   " << lup;
    }
    void theVersionReplyShowsTheRomAndConnects() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        QFETCH(QList<Expected>, writes);
        DispatchBench f;
        int connectedDuringSequence = -1;
        f.Clock.After(100, [&] { connectedDuringSequence = f.State().Connected; });
        const qint64 start = f.Serial.NowMs();
        f.Deliver(FakeSerialControl::Reply(reply));
        QCOMPARE(f->Label2(1)->Caption(), shown);
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        QCOMPARE(int(f.State().VersionReplied), 1);
        QCOMPARE(int(f.State().Connected), 1);
        if (!writes.isEmpty()) {
            QCOMPARE(connectedDuringSequence, 0);
        }
        CompareWrites(f, start, writes);
    }

    void theCounterReplyShowsTheCount_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        // How the fields read is the reader's test; these show the count.
        QTest::newRow("12 AB CD") << QByteArray("QG12ABCD") << "1223629";
        QTest::newRow("largest") << QByteArray("QGFFFFFF") << "16777215";
    }
    void theCounterReplyShowsTheCount() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        DispatchBench f;
        f.Deliver(FakeSerialControl::Reply(reply));
        QCOMPARE(f->Label2(5)->Caption(), shown);
        QCOMPARE(QString::number(f.State().CounterValue), shown);
    }
};

QTEST_MAIN(TestDispatcher)
#include "test_dispatcher.moc"
