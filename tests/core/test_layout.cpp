// The window's arrangement: every element by its name, the counts of the
// control arrays, a few captions, positions and fonts, and the menu bar.
#include "FormFixture.h"

#include <QMenuBar>
#include <QSet>

namespace {

// What an element shows as its caption, whatever kind of element it is.
QString CaptionOf(const QObject* element) {
    if (const auto* label = qobject_cast<const VbLabel*>(element)) {
        return label->Caption();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(element)) {
        return button->text();
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(element)) {
        return frame->title();
    }
    if (const auto* menu = qobject_cast<const QMenu*>(element)) {
        return menu->title();
    }
    if (const auto* item = qobject_cast<const QAction*>(element)) {
        return item->text();
    }
    if (qobject_cast<const MonitorCell*>(element) != nullptr) {
        return {}; // a monitor cell shows its colour only
    }
    return QStringLiteral("<no caption: %1>").arg(element->metaObject()->className());
}

} // namespace

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

    // Every kind of element found by its control name (and index), with the
    // caption it shows: labels, buttons, options, frames, menus, menu items.
    void elementsAreFoundByControlNameAndIndex_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const auto row = [](const QString& name, const QString& caption) {
            QTest::newRow(qPrintable(name)) << name << caption;
        };
        row("Label2_0", "ROM Version");
        row("Label1", "通信レート(Bytes/Sec)");
        row("Label9_0", "ビット数/Scan");
        row("Label9_3", "全データ要求");
        row("Label9_5", "サンプリング周期");
        row("Label7_15", "F");
        row("Label12_9", "a10");
        row("Label12_11", "M-Code");
        row("Label2_7", "Connect");
        row("Label2_9", "Csum");
        row("Command1_1", "Read");
        row("Command3_0", "Restart");
        row("Option2_3", "COM4");
        row("Option1_2", "Line3");
        row("Option3_1", "Q_Command");
        row("Frame7", "A/D board");
        row("Frame5", "24-bit counter");
        row("Picture1_0", "");
        row("Picture1_255", "");
        row("mnuExit", "終了(&X)");
        row("mnuCOM_Selct", "COMポート(&C)");
        row("menuSPL", "サンプリング(&D)");
        row("menuHelp_version", "バージョン情報(&V)");
        const QStringList command2 = {"Clear1", "Clear4",   "Pattern1",  "Pattern2",
                                      "",       "Pattern3", "Stop",      "+",
                                      "-",      "Clear",    "Send_text", "Auto-F"};
        for (int i = 0; i < command2.size(); ++i) {
            if (i != 4) { // no button 4
                row(ElementName("Command2", i), command2[i]);
            }
        }
    }
    void elementsAreFoundByControlNameAndIndex() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        FormFixture f(false);
        QObject* element = f->findChild<QObject*>(name);
        QVERIFY2(element != nullptr, qPrintable(name));
        QCOMPARE(CaptionOf(element), caption);
    }

    void fontsAndWindowTitle() {
        FormFixture f(false);
        QVERIFY(f->Frame7->font().bold());
        QVERIFY(f->Command2(0)->font().bold());
        QVERIFY(!f->Label2(1)->font().bold());
        QCOMPARE(f->Label13(1)->font().pointSizeF(), 8.25);
        QCOMPARE(f->Label7(0)->font().pointSizeF(), 7.5);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZEL_Checker" ZEL_VERSION));
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
        const auto texts = [](const QList<QAction*>& actions) {
            QStringList shown;
            for (const QAction* a : actions) {
                shown << a->text();
            }
            return shown;
        };
        QCOMPARE(texts(f->menuBar()->actions()),
                 QStringList({"ファイル(&F)", "設定(&S)", "ヘルプ(&H)"}));
        QCOMPARE(texts(f->menuSPL->actions()),
                 QStringList({"停止", " 240mS", " 400mS", " 700mS", "1000mS", "2000mS", "4000mS"}));
        QCOMPARE(f->mnuExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
