// The window's arrangement: every element by its name, the counts of the
// control arrays, a few captions, positions and fonts, and the menu bar.
#include "FormFixture.h"

#include <QMenuBar>
#include <QSet>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void elementCountsMatchThePanel() {
        FormFixture f(false);
        QCOMPARE(f->findChildren<BitMonitor*>().size(), 1);
        QCOMPARE(f->Picture1.Count(), 256);
        QCOMPARE(f->Label7.Count(), 16);
        // The unit table: the white labels of the board below its column
        // header, ten rows of a type cell and eight channels.
        QSet<VbLabel*> table;
        for (VbLabel* label : f->Frame7->findChildren<VbLabel*>()) {
            if (label->geometry().top() > f->Label10->geometry().top() &&
                label->BackColor() == Colors::kWhite) {
                table.insert(label);
            }
        }
        QCOMPARE(table.size(), 90);
        for (int u = 1; u <= 10; ++u) {
            for (int k = 0; k <= 8; ++k) {
                QVERIFY2(table.contains(f->UnitRow(u)(k)),
                         qPrintable(QString("unit %1 cell %2").arg(u).arg(k)));
            }
        }
        QCOMPARE(f->Command2.Count(), 11);
        QVERIFY(!f->Command2.Contains(4));
        QCOMPARE(f->findChildren<VbFrame*>().size(), 8);
        QCOMPARE(f->Label22.Count(), 12); // row a10 and the three strip elements
        QCOMPARE(f->Label12.Count(), 12);
    }

    void elementsAreFoundByControlNameAndIndex_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("ROM caption") << "Label2_0"
                                     << "ROM Version";
        QTest::newRow("rate") << "Label1"
                              << "通信レート(Bytes/Sec)";
        QTest::newRow("bits per scan") << "Label9_0"
                                       << "ビット数/Scan";
        QTest::newRow("all data") << "Label9_3"
                                  << "全データ要求";
        QTest::newRow("period") << "Label9_5"
                                << "サンプリング周期";
        QTest::newRow("row F") << "Label7_15"
                               << "F";
        QTest::newRow("a10") << "Label12_9"
                             << "a10";
        QTest::newRow("M-Code") << "Label12_11"
                                << "M-Code";
        QTest::newRow("Connect") << "Label2_7"
                                 << "Connect";
        QTest::newRow("Csum") << "Label2_9"
                              << "Csum";
    }
    void elementsAreFoundByControlNameAndIndex() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        FormFixture f(false);
        auto* label = f->findChild<VbLabel*>(name);
        QVERIFY2(label != nullptr, qPrintable(name));
        QCOMPARE(label->Caption(), caption);
    }

    void buttonsOptionsAndFramesCarryTheirCaptions() {
        FormFixture f(false);
        const QStringList command2 = {"Clear1", "Clear4",   "Pattern1",  "Pattern2",
                                      "",       "Pattern3", "Stop",      "+",
                                      "-",      "Clear",    "Send_text", "Auto-F"};
        for (int i = 0; i < command2.size(); ++i) {
            if (i != 4) {
                QCOMPARE(f.Form->findChild<CommandButton*>(ElementName("Command2", i))->text(),
                         command2[i]);
            }
        }
        QCOMPARE(f->Command1(1)->text(), QStringLiteral("Read"));
        QCOMPARE(f->Command3(0)->text(), QStringLiteral("Restart"));
        QCOMPARE(f->Option2(3)->text(), QStringLiteral("COM4"));
        QCOMPARE(f->Option1(2)->text(), QStringLiteral("Line3"));
        QCOMPARE(f->Option3(1)->text(), QStringLiteral("Q_Command"));
        QCOMPARE(f->Frame7->title(), QStringLiteral("A/D board"));
        QCOMPARE(f->Frame5->title(), QStringLiteral("24-bit counter"));
        QVERIFY(f->Frame7->font().bold());
        QVERIFY(f->Command2(0)->font().bold());
        QVERIFY(!f->Label2(1)->font().bold());
        QCOMPARE(f->Label13(1)->font().pointSizeF(), 8.25);
        QCOMPARE(f->Label7(0)->font().pointSizeF(), 7.5);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZEL_Checker1.13"));
        QVERIFY(f->findChild<QLineEdit*>("Text1") != nullptr);
    }

    void positionsAreTwipsDividedByFifteen() {
        FormFixture f(false);
        QCOMPARE(f->ClientArea()->size(), QSize(774, 432));
        QCOMPARE(f->Frame1->geometry(), QRect(324, 7, 439, 95));
        // Cell 0x9A: row 9, column 10, after both 60-twip gaps (2760, 2910 twips).
        QCOMPARE(f->Picture1(0x9A)->geometry(), QRect(184, 194, 17, 17));
        QCOMPARE(f->Picture1(0)->geometry().topLeft(), QPoint(20, 46));
        QCOMPARE(f->Label13(8)->geometry().left(), 384); // 5760 twips
        QCOMPARE(f->Label22(0)->geometry().top(), 176);  // 2640 twips
    }

    void valueDisplaysAreWhite() {
        FormFixture f(false);
        for (int i : {1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13}) {
            QCOMPARE(f->Label2(i)->BackColor(), Colors::kWhite);
        }
        QCOMPARE(f->Label22(9)->BackColor(), Colors::kWhite);
        QCOMPARE(f->Label17->BackColor(), Colors::kWhite);
        QCOMPARE(f->Label23->BackColor(), Colors::kWhite);
        QCOMPARE(f->UnitRow(5)(3)->BackColor(), Colors::kWhite);
    }

    void menuBarHasEveryItemWithAccessKeysAndShortcut() {
        FormFixture f(false);
        const QList<QAction*> top = f->menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(top[1]->text(), QStringLiteral("設定(&S)"));
        QCOMPARE(top[2]->text(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(f->mnuExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
        QCOMPARE(f->mnuExit->text(), QStringLiteral("終了(&X)"));
        QCOMPARE(f->mnuCOM_Selct->title(), QStringLiteral("COMポート(&C)"));
        QCOMPARE(f->menuSPL->title(), QStringLiteral("サンプリング(&D)"));
        QStringList periods;
        for (QAction* a : f->menuSPL->actions()) {
            periods << a->text();
        }
        QCOMPARE(periods,
                 QStringList({"停止", " 240mS", " 400mS", " 700mS", "1000mS", "2000mS", "4000mS"}));
        QCOMPARE(f->menuHelp_version->text(), QStringLiteral("バージョン情報(&V)"));
        QVERIFY(f->findChild<MenuItem*>("menuT700") == f->menuT700);
    }

    void choosingAMenuItemDoesNotToggleItsMarkByItself() {
        FormFixture f;
        QVERIFY(f->menuSPLstop->isChecked());
        f->menuSPLstop->trigger(); // the stop handler sets the mark again
        QVERIFY(f->menuSPLstop->isChecked());
        f->menuT700->trigger();
        QVERIFY(f->menuT700->isChecked());
        QVERIFY(!f->menuSPLstop->isChecked());
    }

    void clicksReachHandlersWithTheElementIndex() {
        FormFixture f;
        f->show();
        f.Serial.ClearWrites();
        QTest::mouseClick(f->Label2(0), Qt::LeftButton); // ROM Version caption asks again
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>({Wire("QV")}));
        QTest::mouseClick(f->Label12(0), Qt::LeftButton); // a1 steps back to TH
        QCOMPARE(f->Label13(0)->Caption(), QStringLiteral("TH"));
        QTest::mouseClick(f->Label3(4), Qt::LeftButton); // any cell of a5 steps forward
        QCOMPARE(f->Label3(0)->Caption(), QStringLiteral("Tmp"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
