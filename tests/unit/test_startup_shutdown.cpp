// Start-up (the starting displays and the one version request on COM1) and
// the close request: the quit question, the stop sequence with and without a
// connected unit, and close requests that arrive while it runs.
#include "UnitTestHelpers.h"

#include <QCloseEvent>

using namespace UnitTest;

namespace {
const QString kQuitText = QStringLiteral("終了しますか？");

void RequestClose(FormFixture& f, const QString& via) {
    if (via == "menu") {
        f->mnuExit->trigger();
    } else {
        f->close();
    }
}
} // namespace

class TestStartupShutdown : public QObject {
    Q_OBJECT
private slots:
    void startUpSendsOneVersionRequestOnCom1() {
        FormFixture f;
        f.Pump(100);
        QCOMPARE(f.Serial.Openings.size(), 1);
        QCOMPARE(f.Serial.Openings[0].Port, 1);
        QCOMPARE(f.Serial.DroppedWrites, 0); // the request follows the opening
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{QByteArray::fromHex("0d0a51560d0a4435")});
        QCOMPARE(int(f.State().ByteCount), 8);
    }

    void startUpLeavesTheDisplaysAndSamplingAtRest() {
        FormFixture f;
        for (const auto& [index, cell] : f->Picture1) {
            QCOMPARE(cell->BackColor(), Colors::kWhite);
        }
        for (int u = 1; u <= 10; ++u) {
            QCOMPARE(f->UnitRow(u)(0)->Caption(), QStringLiteral("Imd"));
        }
        QCOMPARE(f->Label22(9)->Caption(), QStringLiteral("5"));
        QCOMPARE(f->Label22(10)->Caption(), QString());
        QCOMPARE(f->Label2(3)->Caption(), QStringLiteral("0"));
        QCOMPARE(f->Label2(1)->Caption(), QString());
        QVERIFY(f->Option4(1)->Value() && !f->Option4(0)->Value());
        QVERIFY(f->Option1(0)->Value() && f->Option3(0)->Value());
        QCOMPARE(f->Label17->BackColor(), Colors::kWhite);
        const CheckerState& st = f.State();
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(int(st.BitWeights[static_cast<std::size_t>(i)]), 1 << i);
        }
        QCOMPARE(int(st.ScanBitLast), 255);
        QCOMPARE(int(st.PaintedBitLast), 255);
        QCOMPARE(int(st.ScanMax), 5);
        QCOMPARE(st.ScanMode, QStringLiteral("D"));
        QCOMPARE(int(st.RecordIndex), 1);
        QCOMPARE(int(st.ReadCommandMode), 0);
        QCOMPARE(int(st.Connected), 0);
        QCOMPARE(int(st.QuitAsked), 0);
        // Sampling stopped; the one-second tick runs; the old wait timer idles.
        QVERIFY(f->menuSPLstop->isChecked());
        QCOMPARE(f->Label2(10)->Caption(), QStringLiteral("停止"));
        QCOMPARE(f->Label2(11)->Caption(), QString());
        QCOMPARE(int(st.SamplePeriod), 0);
        QVERIFY(!f->Timer1->Enabled() && f->Timer1->Interval() == 0);
        QVERIFY(f->Timer2->Running() && f->Timer2->Interval() == 1000);
        QVERIFY(f->Timer3->Enabled() && !f->Timer3->Running());
    }

    void closeAsksAndStopsTheUnit_data() {
        QTest::addColumn<QString>("via");
        QTest::addColumn<QByteArray>("rom"); // empty: no unit connected
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("sequence");
        QTest::addColumn<QList<int>>("atMs");
        QTest::newRow("window, No")
            << "window" << QByteArray() << false << QStringList{} << QList<int>{};
        QTest::newRow("menu, No") << "menu" << QByteArray() << false << QStringList{}
                                  << QList<int>{};
        QTest::newRow("window, LUP, No")
            << "window" << QByteArray("LUPTAB13") << false << QStringList{} << QList<int>{};
        QTest::newRow("window, Yes")
            << "window" << QByteArray() << true << QStringList{"QRD00", "QC"} << QList<int>{0, 200};
        QTest::newRow("menu, Yes")
            << "menu" << QByteArray() << true << QStringList{"QRD00", "QC"} << QList<int>{0, 200};
        QTest::newRow("window, LUP, Yes") << "window" << QByteArray("LUPTAB13") << true
                                          << QStringList{"QRD00", "QC", "QF", "QRD00", "QC"}
                                          << QList<int>{0, 200, 900, 900, 1100};
        QTest::newRow("window, RAV, Yes")
            << "window" << QByteArray("RAV-B07") << true
            << QStringList{"QRD00", "QC", "QF", "<NO CARRIER>", "QRD00", "QC"}
            << QList<int>{0, 200, 900, 1100, 1100, 1300};
        QTest::newRow("menu, ZEL, Yes")
            << "menu" << QByteArray("ZEL10-02") << true << QStringList{"QRD00", "QC", "QRD00", "QC"}
            << QList<int>{0, 200, 900, 1100};
    }
    void closeAsksAndStopsTheUnit() {
        QFETCH(QString, via);
        QFETCH(QByteArray, rom);
        QFETCH(bool, yes);
        QFETCH(QStringList, sequence);
        QFETCH(QList<int>, atMs);
        FormFixture f;
        f->show();
        if (!rom.isEmpty()) {
            QVERIFY(ConnectTo(f, rom));
        }
        f.Serial.ClearWrites();
        f.Boxes.Answers = {yes};
        const qint64 started = f.Serial.NowMs();
        RequestClose(f, via);

        QCOMPARE(f.Boxes.Shown.size(), 1);
        QCOMPARE(f.Boxes.Shown[0].Question, true);
        QCOMPARE(f.Boxes.Shown[0].Text, kQuitText);
        QVERIFY(!f.Boxes.Shown[0].Title.isEmpty());
        QCOMPARE(NamesFrom(f.Serial, 0), sequence);
        for (int i = 0; i < atMs.size(); ++i) {
            QCOMPARE(f.Serial.Writes[i].AtMs - started, qint64{atMs[i]});
        }
        if (yes) {
            QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 500));
            QVERIFY(!f->isVisible());
            QVERIFY(!f->Timer1->Enabled() && !f->Timer2->Enabled());
            QCOMPARE(int(f.State().Connected), 0);
            f.Pump(100);
            QCOMPARE(NamesFrom(f.Serial, 0), sequence);
            return;
        }
        f.Pump(50);
        QVERIFY(!f->Unloaded() && f->isVisible());
        QCOMPARE(int(f.State().QuitAsked), 0);
        QCOMPARE(int(f.State().Connected), rom.isEmpty() ? 0 : 1);
        QVERIFY(f->Timer2->Running());
        // Asked again on the next request.
        RequestClose(f, via);
        QCOMPARE(f.Boxes.Shown.size(), 2);
        QVERIFY(!f->Unloaded());
    }

    // A line from the unit that arrives as the final memory clear leaves: its
    // receive event is queued behind the window's close and is handled, but
    // the memory clear stays the last thing the unit receives.
    void nothingFollowsTheFinalMemoryClear_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("modem reset") << QByteArray("AT&F\r");
        QTest::newRow("hang-up") << QByteArray("ATH0\r");
        QTest::newRow("version request") << QByteArray("AT#R\r");
        QTest::newRow("version reply") << VersionReply("LUPTAB13");
    }
    void nothingFollowsTheFinalMemoryClear() {
        QFETCH(QByteArray, line);
        FormFixture f;
        f->show();
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true};
        f.Serial.AfterOutput = [&](const QByteArray& bytes) {
            if (bytes == Wire("QC")) {
                f.Serial.Receive(line);
            }
        };
        f->close();
        QVERIFY(f.PumpUntil([&] { return f->Unloaded() && f.Serial.Incoming.isEmpty(); }, 500));
        f.Pump(200);
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList({"QRD00", "QC"}));
    }

    // A second close request while the stop sequence waits is neither asked
    // nor allowed to close the window before the last command has gone out.
    void aSecondCloseDuringTheStopSequenceWaitsForItsEnd_data() {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<QStringList>("sentBefore");
        QTest::addColumn<QStringList>("sequence");
        const QStringList plain = {"QRD00", "QC"};
        const QStringList withReset = {"QRD00", "QC", "QRD00", "QC"};
        QTest::newRow("menu in the 200 ms wait")
            << "menu" << false << 100 << QStringList{"QRD00"} << plain;
        QTest::newRow("close event in the 200 ms wait")
            << "event" << false << 100 << QStringList{"QRD00"} << plain;
        QTest::newRow("close() in the 200 ms wait")
            << "close" << false << 100 << QStringList{"QRD00"} << plain;
        QTest::newRow("close event during the Reset")
            << "event" << true << 300 << QStringList{"QRD00", "QC"} << withReset;
        QTest::newRow("close event in the last wait")
            << "event" << true << 1000 << QStringList{"QRD00", "QC", "QRD00"} << withReset;
    }
    void aSecondCloseDuringTheStopSequenceWaitsForItsEnd() {
        QFETCH(QString, second);
        QFETCH(bool, connected);
        QFETCH(int, afterMs);
        QFETCH(QStringList, sentBefore);
        QFETCH(QStringList, sequence);
        FormFixture f;
        f->show();
        // The first showing of a window lays out and loads fonts from posted
        // events; done inside the stop sequence's wait, on a slow build they
        // outlast the wait and the second close never gets its turn.
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        QCoreApplication::processEvents();
        if (connected) {
            QVERIFY(ConnectTo(f, "ZEL10-02"));
        }
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true, true};
        bool fired = false;
        bool accepted = true;
        bool unloadedThen = true;
        QStringList sentThen;
        f.Clock.After(afterMs, [&] {
            fired = true;
            if (second == "menu") {
                f->mnuExit->trigger();
            } else if (second == "close") {
                f->close();
            } else {
                QCloseEvent event;
                QCoreApplication::sendEvent(f.Form.get(), &event);
                accepted = event.isAccepted();
            }
            unloadedThen = f->Unloaded() || !f->isVisible();
            sentThen = NamesFrom(f.Serial, 0);
        });
        f->close();
        QVERIFY(fired);
        QVERIFY(!unloadedThen);
        QCOMPARE(sentThen, sentBefore);
        if (second == "event") {
            QVERIFY(!accepted);
        }
        QCOMPARE(f.Boxes.Shown.size(), 1);
        QCOMPARE(NamesFrom(f.Serial, 0), sequence);
        QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 500));
        QVERIFY(!f->isVisible());
        QCOMPARE(NamesFrom(f.Serial, 0), sequence);
    }
};

QTEST_MAIN(TestStartupShutdown)
#include "test_startup_shutdown.moc"
