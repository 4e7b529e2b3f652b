// The check buttons of the "Write Command" and "A/D board" frames and the
// 24-bit counter buttons: the bytes each one sends, what it does to polling,
// and the operator's typed command text.
#include "PanelFixture.h"

namespace {
const QByteArray kPattern1 = Digits("01 80 02 40 04 20 08 10 10 08 20 04 40 02 80 01"
                                    "80 01 40 02 20 04 10 08 08 10 04 20 02 40 01 80");
const QByteArray kPattern2 = Digits("02 11 E4 FF 08 11 00 00 C2 7F 44 44 48 44 C0 7F"
                                    "00 04 D0 7F 10 04 E8 FF 08 04 04 0A 84 31 62 C0");

void Press(Form1* form, int index) {
    QTest::mouseClick(form->Command2(index), Qt::LeftButton);
}

// A bit scan of one line with all 256 bits, or a short one of 32 bits.
QByteArray FullBitScan(char line) {
    return "QB" + QByteArray(1, line) + QByteArray(64, '0');
}
QByteArray ShortBitScan(char line) {
    return "QB" + QByteArray(1, line) + QByteArray(8, '0');
}

// The poll that follows a button's command (the first write): a bit scan of
// line 0, sent afterMs after the press.
void ExpectBitScanPoll(PanelFixture& f, qint64 pressedMs, qint64 afterMs) {
    QVERIFY(f.Clock.RunUntil([&] { return f.Serial.Writes.size() == 2; }, 1000));
    QCOMPARE(f.Serial.Writes[1].Bytes, Wire("QB0"));
    QCOMPARE(f.Serial.Writes[1].AtMs - pressedMs, afterMs);
}
} // namespace

class TestCheckButtons : public QObject {
    Q_OBJECT
private slots:
    void eachButtonSendsItsCommandWithPollingHeldOff_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<int>("counted");
        QTest::addColumn<bool>("pollingAfter");
        QTest::addColumn<int>("intervalAfter");
        using L = QList<QByteArray>;
        // Line 2 is shown and 240 ms sampling runs when each button is pressed.
        QTest::newRow("Clear1") << 0 << L{Wire("Q:200" + QByteArray(64, '0'))} << 72
                                << true << 240;
        QTest::newRow("Clear4") << 1 << L{Wire("QC")} << 8 << true << 240;
        QTest::newRow("Pattern1") << 2 << L{Wire("Q:200" + kPattern1)} << 72 << true
                                  << 240;
        QTest::newRow("Pattern2") << 3 << L{Wire("Q:200" + kPattern2)} << 72 << true
                                  << 240;
        QTest::newRow("Pattern3") << 5 << L{Wire("Q:200" + QByteArray(64, 'F'))} << 72
                                  << true << 240;
        QTest::newRow("Stop") << 6 << L{Wire("QRD00")} << 0 << true << 400;
        QTest::newRow("+") << 7 << L{} << 0 << false << 240;
        QTest::newRow("-") << 8 << L{} << 0 << false << 240;
        QTest::newRow("Clear") << 9 << L{} << 0 << true << 240;
        QTest::newRow("Send_text") << 10 << L{Wire("QV")} << 0 << true << 240;
        QTest::newRow("Auto-F") << 11 << L{Wire("QRF05")} << 0 << true << 240;
    }
    void eachButtonSendsItsCommandWithPollingHeldOff() {
        QFETCH(int, index);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(int, counted);
        QFETCH(bool, pollingAfter);
        QFETCH(int, intervalAfter);
        PanelFixture f;
        f->menuT240_Click();
        f.Deliver(FullBitScan('2'));
        QCOMPARE(f.State().ScanLine, 2);
        f->Text1->setText(QStringLiteral("QV"));
        f.Forget();
        const int before = f.State().ByteCount;

        Press(f.Form.get(), index);

        QCOMPARE(f.Serial.Sent(), sent);
        QCOMPARE(f.State().ByteCount - before, counted);
        // Nothing left while a poll could have gone out between its parts.
        QCOMPARE(f.PollingAtWrite, QList<bool>(sent.size(), false));
        QCOMPARE(f->Timer1->Enabled(), pollingAfter);
        QCOMPARE(f->Timer1->Interval(), intervalAfter);
    }

    void pollingResumesAfterALineWriteAndStaysStoppedAfterPlusAndMinus() {
        PanelFixture f;
        f->menuT240_Click();
        Press(f.Form.get(), 7); // "+"
        f.Forget();
        f.Clock.RunFor(600);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
        Press(f.Form.get(), 8); // "-": still stopped, also with the value changed back
        f.Clock.RunFor(300);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
        const qint64 pressed = f.Serial.NowMs();
        Press(f.Form.get(), 5); // "Pattern3"
        ExpectBitScanPoll(f, pressed, 240);
    }

    void plusAndMinusKeepScanMaxWithinTwoToTen() {
        PanelFixture f;
        QStringList shown;
        for (int k = 0; k < 7; ++k) {
            Press(f.Form.get(), 7);
            shown << f->Label22(9)->Caption();
        }
        QCOMPARE(shown, QStringList({"6", "7", "8", "9", "10", "10", "10"}));
        QCOMPARE(f.State().ScanMax, 10);
        shown.clear();
        for (int k = 0; k < 10; ++k) {
            Press(f.Form.get(), 8);
            shown << f->Label22(9)->Caption();
        }
        QCOMPARE(shown, QStringList({"9", "8", "7", "6", "5", "4", "3", "2", "2", "2"}));
        QCOMPARE(f.State().ScanMax, 2);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
    }

    void autoFCarriesScanMaxInTwoHexDigits_data() {
        QTest::addColumn<int>("plus");
        QTest::addColumn<int>("minus");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("start-up 5") << 0 << 0 << Wire("QRF05");
        QTest::newRow("10") << 5 << 0 << Wire("QRF0A");
        QTest::newRow("2") << 0 << 3 << Wire("QRF02");
    }
    void autoFCarriesScanMaxInTwoHexDigits() {
        QFETCH(int, plus);
        QFETCH(int, minus);
        QFETCH(QByteArray, sent);
        PanelFixture f;
        for (int k = 0; k < plus; ++k) {
            Press(f.Form.get(), 7);
        }
        for (int k = 0; k < minus; ++k) {
            Press(f.Form.get(), 8);
        }
        Press(f.Form.get(), 11);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{sent});
        QCOMPARE(f.State().ScanMode, QStringLiteral("F"));
    }

    void autoFWhileSamplingIsStoppedPollsOnlyOnceAPeriodIsChosen() {
        PanelFixture f;
        Press(f.Form.get(), 11);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QRF05")});
        QVERIFY(f->Timer1->Enabled());
        QVERIFY(!f->Timer1->Running());
        f.Clock.RunFor(500);
        QCOMPARE(f.Serial.Writes.size(), 1);
        f->menuT240_Click();
        QVERIFY(f.Clock.RunUntil([&] { return f.Serial.Writes.size() == 3; }, 1000));
        QCOMPARE(f.Serial.Writes[1].Bytes, Wire("Qf001"));
        QCOMPARE(f.Serial.Writes[2].Bytes, Wire("Qf002"));
    }

    void stopEndsInFourHundredMillisecondBitScanPolling() {
        PanelFixture f;
        f->menuT2000_Click();
        Press(f.Form.get(), 11); // record scan first
        f.Deliver("Qf0004004" + QByteArray(60, '0'));
        QCOMPARE(f->Label22(10)->Caption(), QStringLiteral("4"));
        f.Forget();
        const qint64 pressed = f.Serial.NowMs();

        Press(f.Form.get(), 6);

        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QRD00")});
        QCOMPARE(f.State().ScanMode, QStringLiteral("D"));
        QCOMPARE(f.State().SamplePeriod, 400);
        QCOMPARE(f->Timer1->Interval(), 400);
        QVERIFY(f->Timer1->Running());
        QVERIFY(f->menuT400->isChecked());
        for (MenuItem* other :
             {f->menuSPLstop, f->menuT240, f->menuT700, f->menuT1000, f->menuT2000, f->menuT4000}) {
            QVERIFY2(!other->isChecked(), qPrintable(other->objectName()));
        }
        QCOMPARE(f->Label2(10)->Caption(), QStringLiteral("自動"));
        QCOMPARE(f->Label2(11)->Caption(), QStringLiteral("400"));
        QCOMPARE(f->Label22(10)->Caption(), QString());
        // The first poll is a bit scan of the shown line, one period later.
        ExpectBitScanPoll(f, pressed, 400);
    }

    void clearEmptiesTheChannelCellsOnly() {
        PanelFixture f;
        for (int u = 1; u <= 10; ++u) {
            for (int k = 1; k <= 8; ++k) {
                f->UnitRow(u)(k)->SetCaption(QStringLiteral("%1.%2").arg(u).arg(k));
            }
        }
        f->Label12_Click(3); // unit 4 shows "TH"
        f.State().UnitData[4][2] = 1234;
        f->Label22(10)->SetCaption(QStringLiteral("7"));
        f->Label22(11)->SetCaption(QStringLiteral("3"));

        Press(f.Form.get(), 9);

        for (int u = 1; u <= 10; ++u) {
            for (int k = 1; k <= 8; ++k) {
                QCOMPARE(f->UnitRow(u)(k)->Caption(), QString());
            }
            QCOMPARE(f->UnitRow(u)(0)->Caption(), u == 4 ? QStringLiteral("TH") : "Imd");
        }
        QCOMPARE(f.State().UnitData[4][0], 8);
        QCOMPARE(f.State().UnitData[4][2], 1234);
        QCOMPARE(f->Label22(9)->Caption(), QStringLiteral("5"));
        QCOMPARE(f->Label22(10)->Caption(), QStringLiteral("7"));
        QCOMPARE(f->Label22(11)->Caption(), QStringLiteral("3"));
    }

    void sendTextSendsAsciiExactlyAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("command") << "QV" << Wire("QV");
        QTest::newRow("empty box") << "" << QByteArray("\r\n\r\n2E");
        QTest::newRow("blanks and marks kept") << " Qg 1~" << Wire(" Qg 1~");
        QTest::newRow("ends in Z") << "QZ" << Wire("QZ");
    }
    void sendTextSendsAsciiExactlyAsTyped() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, sent);
        PanelFixture f;
        f->Text1->setText(typed);
        Press(f.Form.get(), 10);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{sent});
        QCOMPARE(f.Boxes.Shown.size(), 0);
    }

    void sendTextRefusesACharacterWithoutASingleByte_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("code");
        QTest::newRow("accented letter") << "é"
                                         << "é"
                                         << "E9";
        QTest::newRow("after a command") << "QV温"
                                         << "温"
                                         << "6E29";
        QTest::newRow("emoji") << "Q\U0001F600V"
                               << "\U0001F600"
                               << "1F600";
        QTest::newRow("no-break space") << QStringLiteral("Q\u00A0V") << "\u00A0"
                                        << "A0";
        QTest::newRow("first of two named") << "aé温"
                                            << "é"
                                            << "E9";
        // Half of a surrogate pair, as a broken paste can leave it.
        QTest::newRow("lone surrogate")
            << QString(QStringLiteral("Q") + QChar(0xD83D) + QStringLiteral("V")) << ""
            << "D83D";
    }
    void sendTextRefusesACharacterWithoutASingleByte() {
        QFETCH(QString, typed);
        QFETCH(QString, named);
        QFETCH(QString, code);
        PanelFixture f;
        f->menuT240_Click();
        f.Forget();
        int writesWhileShown = -1;
        f.Boxes.OnBox = [&] { writesWhileShown = static_cast<int>(f.Serial.Writes.size()); };
        f->Text1->setText(typed);

        Press(f.Form.get(), 10);

        QCOMPARE(writesWhileShown, 0);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
        QCOMPARE(f.Boxes.Shown.size(), 1);
        const QString text = f.Boxes.Shown[0].Text;
        QVERIFY2(text.contains(named) && text.contains(code), qPrintable(text));
        QVERIFY(!f.Boxes.Shown[0].Question);
        QCOMPARE(f->Text1->text(), typed); // left for the operator to correct
        QVERIFY(f->Timer1->Enabled());
    }

    void counterButtonsActOnlyAfterAFullBitScan() {
        PanelFixture f;
        f->menuT240_Click();
        f.Forget();
        const int before = f.State().ByteCount;
        // Start-up counts as a full scan.
        QTest::mouseClick(f->Command1(1), Qt::LeftButton);
        QTest::mouseClick(f->Command1(0), Qt::LeftButton);
        QCOMPARE(f.Serial.Sent(), (QList<QByteArray>{Wire("QG"), Wire("QE")}));
        QCOMPARE(f.PollingAtWrite, (QList<bool>{true, true}));
        QVERIFY(f->Timer1->Running());
        QCOMPARE(f.State().ByteCount, before);

        f.Deliver(ShortBitScan('0'));
        QCOMPARE(f.State().ScanBitLast, 31);
        f.Forget();
        QTest::mouseClick(f->Command1(1), Qt::LeftButton);
        QTest::mouseClick(f->Command1(0), Qt::LeftButton);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});

        f.Deliver(FullBitScan('0'));
        f.Forget();
        QTest::mouseClick(f->Command1(1), Qt::LeftButton);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QG")});
    }
};

QTEST_MAIN(TestCheckButtons)
#include "test_check_buttons.moc"
