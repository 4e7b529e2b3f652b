// Connecting the unit: the version request, the family connect sequences with
// their 200 ms spacing, Restart (reply inside its wait, and the give-up box on
// the fourth second), Reset of each family, and the clicks that ask again.
#include "UnitTestHelpers.h"

using namespace UnitTest;

namespace {
const QString kNoLinkText = QStringLiteral("通信ができません！\r\nTry again !");

void ExpectSpacedBy200(const FakeSerialControl& serial, int from) {
    const QList<qint64> gaps = Gaps(serial, from);
    QCOMPARE(gaps, QList<qint64>(gaps.size(), 200));
}
} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void theVersionReplyRunsTheFamilysConnectSequence_data() {
        QTest::addColumn<QByteArray>("rom");
        QTest::addColumn<QStringList>("sequence");
        QTest::addColumn<QString>("shown");
        QTest::newRow("LUP") << QByteArray("LUPTAB13")
                             << QStringList{"<RING>", "<CONNECT>", "QJD", "QND", "QRD"}
                             << "LUPTAB13   V1.30ABC";
        QTest::newRow("RAV") << QByteArray("RAV-B07")
                             << QStringList{"<RING>", "<CONNECT>", "QND", "QRD"}
                             << "RAV-B07    .V1.30AB";
        QTest::newRow("ZEL") << QByteArray("ZEL10-02") << QStringList{} << "ZEL10-02   V1.30ABC";
        QTest::newRow("other") << QByteArray("LU-X") << QStringList{} << "LU-X       V1.30ABC";
    }
    void theVersionReplyRunsTheFamilysConnectSequence() {
        QFETCH(QByteArray, rom);
        QFETCH(QStringList, sequence);
        QFETCH(QString, shown);
        FormFixture f;
        f.Serial.ClearWrites();
        QVERIFY(ConnectTo(f, rom));
        QCOMPARE(f->Label2(1)->Caption(), shown);
        QCOMPARE(NamesFrom(f.Serial, 0), sequence);
        ExpectSpacedBy200(f.Serial, 0);
        QCOMPARE(f.State().RomFamily, QString::fromLatin1(rom.left(3)));
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        // Polling is enabled but, with sampling stopped, nothing ticks.
        QVERIFY(f->Timer1->Enabled());
        QCOMPARE(f->Timer1->Interval(), 0);
        QVERIFY(!f->Timer1->Running());
    }

    // A version reply while sampling runs (a click on "ROM Version", a unit
    // redoing its set-up) reconnects without putting the next poll off.
    void aVersionReplyKeepsThePollPhase() {
        FormFixture f;
        QVERIFY(ConnectTo(f, "ZEL10-02"));
        f->menuT1000_Click();
        f.Serial.ClearWrites();
        const qint64 started = f.Serial.NowMs();
        f->Label2(1)->SetCaption("stale");
        f.Serial.ReceiveAfter(600, VersionReply("ZEL10-02"));
        QVERIFY(f.PumpUntil([&] { return !f.Serial.Writes.isEmpty(); }, 2500));
        QCOMPARE(f->Label2(1)->Caption(), QStringLiteral("ZEL10-02   V1.30ABC"));
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList{"QB0"});
        const qint64 at = f.Serial.Writes[0].AtMs - started;
        QCOMPARE(at, 1000);
    }

    void theRawModemLinesLeaveWithoutChecksum() {
        FormFixture f;
        f.Serial.ClearWrites();
        QVERIFY(ConnectTo(f, "RAV-B07"));
        QCOMPARE(f.Serial.Writes[0].Bytes, QByteArray("\r\nRING\r\n"));
        QCOMPARE(f.Serial.Writes[1].Bytes, QByteArray("\r\nCONNECT\r\n"));
        QCOMPARE(f.Serial.Writes[2].Bytes, QByteArray::fromHex("0d0a514e440d0a3131"));
    }

    void clicksOnTheRomVersionLabelsAskForTheVersion_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("versionRequests");
        QTest::newRow("ROM Version caption") << 0 << 1;
        QTest::newRow("ROM name") << 1 << 1;
        QTest::newRow("rate display") << 3 << 0;
        QTest::newRow("Connect caption") << 7 << 0;
    }
    void clicksOnTheRomVersionLabelsAskForTheVersion() {
        QFETCH(int, index);
        QFETCH(int, versionRequests);
        FormFixture f;
        f.Serial.ClearWrites();
        f.State().ByteCount = 0;
        QTest::mouseClick(f->Label2(index), Qt::LeftButton);
        QCOMPARE(f.Serial.Sent().count(QByteArray::fromHex("0d0a51560d0a4435")), versionRequests);
        QCOMPARE(f.Serial.Writes.size(), versionRequests);
        QCOMPARE(f.State().ByteCount, int16_t(8 * versionRequests));
    }

    // Restart waits for this reply even after an earlier one (a unit that
    // was connected, then Reset).
    void restartWithAReplyConnectsAndSendsTheSequenceTwice_data() {
        QTest::addColumn<bool>("resetBefore");
        QTest::newRow("never connected") << false;
        QTest::newRow("connected, then Reset") << true;
    }
    void restartWithAReplyConnectsAndSendsTheSequenceTwice() {
        QFETCH(bool, resetBefore);
        FormFixture f;
        if (resetBefore) {
            QVERIFY(ConnectTo(f, "ZEL10-02"));
            f->Command3_Click(1);
            QCOMPARE(f.State().Connected, int16_t(0));
        }
        f.Serial.ClearWrites();
        f->Label2(1)->SetCaption("stale");
        f.Serial.ReceiveAfter(300, VersionReply("LUPTAB13"));
        const qint64 ms = f.ElapsedMs([&] { f->Command3_Click(0); });
        const QStringList once = {"<RING>", "<CONNECT>", "QJD", "QND", "QRD"};
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList{"QV"} + once + once);
        ExpectSpacedBy200(f.Serial, 1);
        QVERIFY2(ms >= 300 + 10 * 200 - 20 && ms < 300 + 10 * 200 + 400,
                 qPrintable(QString::number(ms)));
        QVERIFY(f.Boxes.Shown.isEmpty());
        QCOMPARE(f.State().Connected, int16_t(1));
        QCOMPARE(f.State().ConnectWaiting, int16_t(0));
        QCOMPARE(f->Label2(1)->Caption(), QStringLiteral("LUPTAB13   V1.30ABC"));
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        QVERIFY(f->Timer1->Enabled());
    }

    void restartWithoutAnAnswerGivesUpOnTheFourthTick() {
        // The one-second tick starts with the window; clicking half a second
        // later puts its fourth tick after the click at 3.5 s.
        FormFixture f(false);
        const qint64 loadedAt = f.Serial.NowMs();
        const auto sinceLoad = [&] { return f.Serial.NowMs() - loadedAt; };
        f->Form_Load();
        f.Pump(500);
        f.Serial.ClearWrites();
        f->Label2(1)->SetCaption("stale");
        qint64 boxAt = -1;
        f.Boxes.OnBox = [&] { boxAt = sinceLoad(); };
        QCOMPARE(sinceLoad(), 500);
        f->Command3_Click(0);
        QCOMPARE(boxAt, 4000);
        QCOMPARE(f.Boxes.Shown.size(), 1);
        QCOMPARE(f.Boxes.Shown[0].Question, false);
        QCOMPARE(f.Boxes.Shown[0].Title, QStringLiteral("Information"));
        QCOMPARE(f.Boxes.Shown[0].Text, kNoLinkText);
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList{"QV"});
        QCOMPARE(f.State().Connected, int16_t(0));
        QCOMPARE(f.State().ConnectWaiting, int16_t(0));
        QCOMPARE(f->Label2(1)->Caption(), QString());
        QVERIFY(!f->Timer1->Enabled());
        // A reply that comes after the box still connects the unit.
        f.Serial.Receive(VersionReply("LUPTAB13"));
        QVERIFY(f.PumpUntil([&] { return f.State().Connected == 1; }, 3000));
        QCOMPARE(NamesFrom(f.Serial, 1), QStringList({"<RING>", "<CONNECT>", "QJD", "QND", "QRD"}));
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        QVERIFY(f->Timer1->Enabled());
    }

    void restartActsOnlyWhenDisconnectedAndResetOnlyWhenConnected() {
        FormFixture f;
        f.Serial.ClearWrites();
        f->Command3_Click(1); // Reset while disconnected
        f.State().Connected = 1;
        const qint64 ms = f.ElapsedMs([&] { f->Command3_Click(0); }); // Restart while connected
        QVERIFY(ms < 50);
        f->Command3_Click(2);
        QCOMPARE(f.Serial.Writes.size(), 0);
        QVERIFY(f.Boxes.Shown.isEmpty());
    }

    void resetStopsTheUnitAndClearsTheDisplays_data() {
        QTest::addColumn<QByteArray>("rom");
        QTest::addColumn<QStringList>("sequence");
        QTest::addColumn<QList<int>>("atMs");
        QTest::newRow("LUP") << QByteArray("LUPTAB13") << QStringList{"QRD00", "QC", "QF"}
                             << QList<int>{0, 200, 900};
        QTest::newRow("RAV") << QByteArray("RAV-B07")
                             << QStringList{"QRD00", "QC", "QF", "<NO CARRIER>"}
                             << QList<int>{0, 200, 900, 1100};
        QTest::newRow("ZEL") << QByteArray("ZEL10-02") << QStringList{"QRD00", "QC"}
                             << QList<int>{0, 200};
    }
    void resetStopsTheUnitAndClearsTheDisplays() {
        QFETCH(QByteArray, rom);
        QFETCH(QStringList, sequence);
        QFETCH(QList<int>, atMs);
        FormFixture f;
        QVERIFY(ConnectTo(f, rom));
        f->menuT2000_Click();
        f->Label2(2)->SetCaption("256");
        f->Label2(3)->SetCaption("95");
        f->Label2(5)->SetCaption("1223629");
        for (int u = 1; u <= 10; ++u) {
            f->UnitRow(u)(0)->SetCaption("Tmp");
            for (int k = 1; k <= 8; ++k) {
                f->UnitRow(u)(k)->SetCaption(QString::number(10 * u + k));
            }
        }
        f->Text1->setText("QG");
        f.State().ByteCount = 40;
        f.Serial.ClearWrites();
        const qint64 started = f.Serial.NowMs();
        const qint64 ms = f.ElapsedMs([&] { f->Command3_Click(1); });

        QCOMPARE(NamesFrom(f.Serial, 0), sequence);
        for (int i = 0; i < atMs.size(); ++i) {
            QCOMPARE(f.Serial.Writes[i].AtMs - started, qint64{atMs[i]});
        }
        QCOMPARE(ms, qint64{qMax(900, atMs.back())});
        QCOMPARE(f.State().Connected, int16_t(0));
        QCOMPARE(f.State().ByteCount, int16_t(0));
        QCOMPARE(f->Label17->BackColor(), Colors::kWhite);
        for (int i : {1, 2, 3, 5}) {
            QCOMPARE(f->Label2(i)->Caption(), QString());
        }
        for (int u = 1; u <= 10; ++u) {
            QCOMPARE(f->UnitRow(u)(0)->Caption(), QStringLiteral("Tmp"));
            for (int k = 1; k <= 8; ++k) {
                QCOMPARE(f->UnitRow(u)(k)->Caption(), QString());
            }
        }
        QCOMPARE(f->Text1->text(), QString());
        // Polling stops; the chosen period stays.
        QVERIFY(!f->Timer1->Enabled());
        QCOMPARE(f->Timer1->Interval(), 2000);
        QCOMPARE(f.State().SamplePeriod, int16_t(2000));
        QVERIFY(f->menuT2000->isChecked());
        QCOMPARE(f->Label2(10)->Caption(), QStringLiteral("自動"));
    }

    // Closing the window while the connect sequence or the Restart wait runs:
    // the stop sequence's memory clear is the last thing the unit receives,
    // and no "cannot communicate" box follows the closed window.
    void closingDuringTheConnectSequenceEndsIt() {
        FormFixture f;
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true};
        f.Clock.After(300, [&] { f->mnuExit_Click(); });
        f.Serial.Receive(VersionReply("LUPTAB13"));
        QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 3000));
        f.Pump(300);
        const QStringList names = NamesFrom(f.Serial, 0);
        QVERIFY2(names.size() >= 2 && names.mid(names.size() - 2) == QStringList({"QRD00", "QC"}),
                 qPrintable(names.join(' ')));
        QVERIFY(!f->Timer1->Enabled());
    }

    // Closing during a Reset's waits: the stop sequence runs its own Reset
    // and ends with the memory clear; the interrupted Reset sends no more.
    void closingDuringAResetEndsIt_data() {
        QTest::addColumn<int>("closeAtMs");
        QTest::newRow("after QRD00") << 100;
        QTest::newRow("after QC") << 300;
        QTest::newRow("polling stopped") << 600;
        QTest::newRow("between QF and NO CARRIER") << 1000;
    }
    void closingDuringAResetEndsIt() {
        QFETCH(int, closeAtMs);
        FormFixture f;
        QVERIFY(ConnectTo(f, "RAV-B13"));
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true};
        f.Clock.After(closeAtMs, [&] { f->mnuExit_Click(); });
        f->Command3_Click(1);
        QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 5000));
        f.Pump(100);
        const QStringList names = NamesFrom(f.Serial, 0);
        QVERIFY2(names.mid(names.size() - 2) == QStringList({"QRD00", "QC"}),
                 qPrintable(names.join(' ')));
    }

    void closingDuringTheRestartWaitShowsNoBox() {
        FormFixture f;
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true};
        f.Clock.After(200, [&] { f->mnuExit_Click(); });
        const qint64 ms = f.ElapsedMs([&] { f->Command3_Click(0); });
        QVERIFY(f->Unloaded());
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList({"QV", "QRD00", "QC"}));
        QCOMPARE(f.Boxes.Shown.size(), 1); // the quit question only
        QCOMPARE(f.Boxes.Shown[0].Question, true);
    }
};

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
