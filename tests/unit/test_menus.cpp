// The help menu's two boxes, the Line select with its pause and the copy of
// what the grid shows, and the Read Command options.
#include "UnitTestHelpers.h"
#include "controls/MessageBoxes.h"

#include <QElapsedTimer>

using namespace UnitTest;

namespace {
// A reply from the unit, received and dispatched.
void Deliver(FormFixture& f, const QByteArray& codeAndData) {
    f.Serial.Receive(FakeSerialControl::Reply(codeAndData));
    QVERIFY(f.PumpUntil([&] { return f.Serial.Incoming.isEmpty(); }, 5000));
}

// The monitor cells painted red (a 1 bit), in cell order.
QList<int> RedCells(FormFixture& f) {
    QList<int> red;
    for (const auto& [index, cell] : f->Picture1) {
        if (!cell->IsGrey() && cell->BackColor() == Colors::kRed) {
            red << index;
        }
    }
    return red;
}
} // namespace

class TestMenus : public QObject {
    Q_OBJECT
private slots:
    // A check a script started must not wait for a click: a real box closes
    // by itself once its time is up, and under the check every notice of the
    // window becomes such a box, while questions stay questions.
    void boxesOfAnUnattendedRunCloseByThemselves() {
        QtMessageBoxes real(nullptr);
        QElapsedTimer shown;
        shown.start();
        real.InformationFor(QStringLiteral("ZEL_Checker"), QStringLiteral("closes"), 1);
        QVERIFY(shown.elapsed() >= 900); // up for its second, then gone unclicked

        FakeMessageBoxes inner;
        inner.Answers = {true};
        SelfClosingMessageBoxes boxes(inner, 5);
        boxes.Information(QStringLiteral("Information"), QStringLiteral("port"));
        QVERIFY(boxes.Question(QStringLiteral("ZEL_Checker"), QStringLiteral("quit?")));
        QCOMPARE(inner.Shown.size(), 2);
        QCOMPARE(inner.Shown[0].Seconds, 5);
        QCOMPARE(inner.Shown[1].Question, true);
    }

    void theHelpBoxShowsTheProcedure() {
        FormFixture f;
        f->menuHelp_mokuji->trigger();
        QCOMPARE(f.Boxes.Shown.size(), 1);
        const auto& box = f.Boxes.Shown[0];
        QCOMPARE(box.Question, false);
        QCOMPARE(box.Title, QStringLiteral("ヘルプ"));
        // U+3000 is the ideographic space; "ＯＫ" is full width; "Clear4"
        // closes with an ASCII bracket.
        const QStringList lines = {
            QStringLiteral(
                "ZEL-03(CPU:10MHz)専用ROM「LUPTABxx」「RAV-Bxx」「ZEL10-xx」のチェッカーです。"),
            QString(),
            QStringLiteral(
                "1.\u3000サンプルパワーオンでROM名が表示され、コネクト窓が水色点灯すれば接続は"
                "\uFF2F\uFF2Bで待機状態となります。"),
            QStringLiteral("2.\u3000次の手順でチェックを行います。"),
            QStringLiteral("\u3000\u2460 「Pattern1」→「Pattern2」→「Pattern3」をチェックします。"),
            QStringLiteral(
                "\u3000\u2461 最後に「Clear4]でメモリをクリアした後「Stop」ボタンで終了します。"),
            QStringLiteral("\u3000\u2462 サンプルをパワーオフします。"),
        };
        QCOMPARE(box.Text.split(QStringLiteral("\r\n")), lines);
        QCOMPARE(box.Text, lines.join(QStringLiteral("\r\n")));
    }

    void theVersionBoxNamesTheProgramAndItsMaker() {
        FormFixture f;
        f->menuHelp_version->trigger();
        QCOMPARE(f.Boxes.Shown.size(), 1);
        const auto& box = f.Boxes.Shown[0];
        QCOMPARE(box.Question, false);
        QCOMPARE(box.Title, QStringLiteral("バージョン情報"));
        const QStringList lines = box.Text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("       ZEL_Checker " ZEL_VERSION));
        QCOMPARE(lines[1], QString());
        QVERIFY(!lines[2].trimmed().isEmpty());
        QVERIFY(lines[3].startsWith("       ") && lines[3][7] != QLatin1Char(' '));
    }

    void lineSelectPausesPollingAndPollsTheNewLine() {
        FormFixture f;
        f->menuT400_Click();
        f.Pump(450); // one poll of line 1 has gone out
        QCOMPARE(NamesFrom(f.Serial, 1), QStringList{"QB0"});
        f.Serial.ClearWrites();
        const qint64 clicked = f.Serial.NowMs();
        const qint64 ms = f.ElapsedMs([&] { QTest::mouseClick(f->Option1(2), Qt::LeftButton); });
        QCOMPARE(ms, 300);
        QCOMPARE(f.Serial.Writes.size(), 0);
        QCOMPARE(int(f.State().ScanLine), 2);
        QVERIFY(f->Option1(2)->Value() && !f->Option1(0)->Value());
        QVERIFY(f.PumpUntil([&] { return f.Serial.Writes.size() >= 2; }, 1500));
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList({"QB2", "QB2"}));
        const qint64 first = f.Serial.Writes[0].AtMs - clicked;
        QCOMPARE(first, 700);
        QCOMPARE(f->Timer1->Interval(), 400);
    }

    // The grid keeps the old line's picture through the switch, until the
    // new line's first scan repaints it.
    void lineSelectKeepsThePictureUntilTheNewLinesScan() {
        FormFixture f;
        Deliver(f, "QB0F0" + QByteArray(62, '0')); // line 1: bits 0..3
        QCOMPARE(RedCells(f), QList<int>({0, 1, 2, 3}));
        f->Option1_Click(2);
        QCOMPARE(int(f.State().ScanLine), 2);
        QCOMPARE(RedCells(f), QList<int>({0, 1, 2, 3}));
        Deliver(f, "QB2C3" + QByteArray(60, '0') + "08"); // line 3: bits 2..5 and 255
        QCOMPARE(RedCells(f), QList<int>({2, 3, 4, 5, 255}));
    }

    // A scan reply that arrives during the pause is shown first; the switch
    // then leaves that picture on the grid.
    void aReplyDuringTheLineSelectPauseIsShownBeforeTheSwitch() {
        FormFixture f;
        f.Serial.ReceiveAfter(100, FakeSerialControl::Reply("QB1FF00FF00"));
        f->Option1_Click(2);
        QCOMPARE(int(f.State().ScanLine), 2);
        QList<int> expectedRed;
        for (int i = 0; i < 8; ++i) {
            expectedRed << i;
        }
        for (int i = 16; i < 24; ++i) {
            expectedRed << i;
        }
        QCOMPARE(RedCells(f), expectedRed);
        for (int i = 32; i < 256; ++i) {
            QVERIFY2(f->Picture1(i)->IsGrey(), qPrintable(QString::number(i)));
        }
    }

    void closingDuringTheLineSelectPauseLeavesPollingOff() {
        FormFixture f;
        f->menuT400_Click();
        f.Serial.ClearWrites();
        f.Boxes.Answers = {true};
        f.Clock.After(100, [&] { f->mnuExit_Click(); });
        f->Option1_Click(1);
        QVERIFY(f.PumpUntil([&] { return f->Unloaded(); }, 500));
        f.Pump(500);
        QVERIFY(!f->Timer1->Enabled());
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList({"QRD00", "QC"}));
    }

    void lineSelectLeavesPollingAsThePeriodSays_data() {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("polls");
        QTest::newRow("sampling stopped") << false << 0;
        QTest::newRow("after a Reset at 400 ms") << true << 1;
    }
    void lineSelectLeavesPollingAsThePeriodSays() {
        QFETCH(bool, reset);
        QFETCH(int, polls);
        FormFixture f;
        if (reset) {
            QVERIFY(ConnectTo(f, "ZEL10-02"));
            f->menuT400_Click();
            f->Command3_Click(1);
            QVERIFY(!f->Timer1->Enabled());
        }
        f.Serial.ClearWrites();
        f->Option1_Click(1);
        f.Pump(550);
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList(polls, QStringLiteral("QB1")));
        QCOMPARE(f->Label2(10)->Caption(), reset ? QStringLiteral("自動") : QStringLiteral("停止"));
    }

    void theReadCommandChoosesThePollAndTheBoardFrame() {
        FormFixture f;
        f->show();
        QVERIFY(f->Frame7->isVisible());
        f.Serial.ClearWrites();
        QTest::mouseClick(f->Option3(1), Qt::LeftButton);
        QCOMPARE(int(f.State().ReadCommandMode), 1);
        QVERIFY(!f->Frame7->isVisible());
        QVERIFY(f->Option3(1)->Value() && !f->Option3(0)->Value());
        QCOMPARE(f.Serial.Writes.size(), 0); // nothing goes out at the switch
        f->Timer1_Timer();
        QTest::mouseClick(f->Option3(0), Qt::LeftButton);
        QCOMPARE(int(f.State().ReadCommandMode), 0);
        QVERIFY(f->Frame7->isVisible());
        f->Timer1_Timer();
        f.State().ScanMode = QStringLiteral("F");
        f->Timer1_Timer();
        QCOMPARE(NamesFrom(f.Serial, 0), QStringList({"QA", "QB0", "Qf001"}));
    }
};

QTEST_MAIN(TestMenus)
#include "test_menus.moc"
