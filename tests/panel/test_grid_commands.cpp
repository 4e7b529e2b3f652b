// The bit monitor as an input: single-bit and half-row commands, and the
// readout of the cell under the mouse; and the double-click, which is one
// click on the panel's labels and cells.
#include "PanelFixture.h"

#include <QWindow>

namespace {
// A full bit scan of one line whose data field is given from its start; the
// rest of the 64 digits are 0. Byte c is digits 2c + 1 (low) and 2c + 2 (high).
QByteArray BitScan(char line, const QByteArray& leading) {
    return "QB" + QByteArray(1, line) + leading + QByteArray(64 - leading.size(), '0');
}

// A point of the frame that lies over none of its elements.
QPoint FrameBackground(QWidget* frame) {
    for (int y = frame->height() - 2; y > 0; --y) {
        for (int x = 2; x < frame->width() - 2; ++x) {
            if (frame->childAt(x, y) == nullptr) {
                return {x, y};
            }
        }
    }
    return {-1, -1};
}

// What an operator's clicks can change: the frames sent, the period and the
// sampling captions, the first unit's type and the ScanMax display.
struct Effect {
    QList<QByteArray> Sent;
    QStringList Captions;
    bool operator==(const Effect&) const = default;
};

Effect EffectOf(PanelFixture& f) {
    return {f.Serial.Sent(),
            {f->Label2(10)->Caption(), f->Label2(11)->Caption(), f->UnitRow(1)(0)->Caption(),
             f->Label22(9)->Caption()}};
}

// The middle of an element found by its name, in the window's coordinates; the
// monitor's cells "Picture1_n" are painted by one widget.
QPoint CentreOf(PanelFixture& f, const QString& element) {
    if (element.startsWith(QLatin1String("Picture1_"))) {
        const int cell = element.mid(9).toInt();
        return f->Monitor->mapTo(f.Form.get(), f->Monitor->CellCenter(cell));
    }
    const QWidget* w = f->findChild<QWidget*>(element);
    return w != nullptr ? w->mapTo(f.Form.get(), w->rect().center()) : QPoint(-1, -1);
}

// Presses and releases through the window system, as a real mouse does: the
// second press of a quick pair is reported as a double-click.
void PressOn(PanelFixture& f, const QString& element, bool twiceQuickly) {
    const QPoint at = CentreOf(f, element);
    QVERIFY(at.x() >= 0);
    if (twiceQuickly) {
        QTest::mouseDClick(f->windowHandle(), Qt::LeftButton, {}, at);
    } else {
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {}, at);
    }
}
} // namespace

class TestGridCommands : public QObject {
    Q_OBJECT
private slots:
    void aCellClickWritesTheOppositeOfTheReportedBit_data() {
        QTest::addColumn<QByteArray>("scan");
        QTest::addColumn<int>("cell");
        QTest::addColumn<QByteArray>("sent");
        // Byte 5 = 0x04: bit 42 (0x2A) of line 1 is 1, its neighbours 0.
        QTest::newRow("bit 1 is cleared") << BitScan('1', "00000000004") << 42 << Frame("QW12A2");
        QTest::newRow("bit 0 is set") << BitScan('1', "00000000004") << 41 << Frame("QW1293");
        // Byte 31 = 0x80: the last cell of line 3.
        QTest::newRow("last cell")
            << BitScan('3', QByteArray(62, '0') + "08") << 255 << Frame("QW3FF2");
        QTest::newRow("first cell, line 0") << BitScan('0', "1") << 0 << Frame("QW0002");
    }
    void aCellClickWritesTheOppositeOfTheReportedBit() {
        QFETCH(QByteArray, scan);
        QFETCH(int, cell);
        QFETCH(QByteArray, sent);
        PanelFixture f;
        f.Deliver(scan);
        f.Forget();
        const int before = f.State().ByteCount;
        f.ClickCell(cell);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{sent});
        QCOMPARE(f.State().ByteCount - before, 12);
    }

    void theStateDigitFollowsTheReportNotTheCellColour() {
        PanelFixture f;
        // Nothing reported yet: every cell is written as "set".
        f.ClickCell(200);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Frame("QW0C83")});
        // Line 2 reported with bit 0 set, then line 0 shown again by the Line
        // select without a new report: line 0's own bit decides.
        f.Deliver(BitScan('2', "1"));
        QVERIFY(f->Picture1(0)->BackColor() == Colors::kRed);
        f.State().ScanLine = 0;
        f.Forget();
        f.ClickCell(0);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Frame("QW0003")});
        // A greyed cell beyond a short scan still sends its command.
        f.Deliver("QB0" + QByteArray(8, '0'));
        QVERIFY(f->Picture1(100)->IsGrey());
        f.Forget();
        f.ClickCell(100);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Frame("QW0643")});
    }

    void aPressCarriedOffOrAnotherButtonWritesNothing() {
        PanelFixture f;
        f.ClickCell(0x2A, Qt::RightButton);
        QTest::mousePress(f->Monitor, Qt::LeftButton, {}, f->Monitor->CellCenter(3));
        QTest::mouseRelease(f->Monitor, Qt::LeftButton, {}, f->Monitor->CellCenter(4));
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
    }

    // The cells come from one widget's paint: each shows its colour, and a
    // change repaints that cell and the neighbours whose borders it shares.
    void theMonitorPaintsTheCellColoursAndRepaintsOnlyChangedCells() {
        PanelFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        f.Deliver(BitScan('0', "1")); // bit 0 of line 0
        QImage shown = f->Monitor->grab().toImage();
        QCOMPARE(shown.pixelColor(f->Monitor->CellCenter(0)), Colors::kRed);
        QCOMPARE(shown.pixelColor(f->Monitor->CellCenter(1)), Colors::kWhite);
        QCOMPARE(shown.pixelColor(f->Monitor->CellCenter(255)), Colors::kWhite);

        QTRY_VERIFY(f->Monitor->CellsPainted() > 0);
        QTest::qWait(50);
        const qint64 before = f->Monitor->CellsPainted();
        f.Deliver(BitScan('0', "0000000000000000000000000000000000000000000000000000000000000008"));
        QTRY_VERIFY(f->Monitor->CellsPainted() > before);
        QTest::qWait(50);
        // Cell 0 (with its right and lower neighbours) and cell 255 (with its
        // left and upper neighbours): at most 8 cells, nowhere near 256.
        QVERIFY2(f->Monitor->CellsPainted() - before <= 8,
                 qPrintable(QString::number(f->Monitor->CellsPainted() - before)));

        f.Deliver("QB0" + QByteArray(8, '0')); // 32 bits: the rest turns grey
        shown = f->Monitor->grab().toImage();
        QCOMPARE(shown.pixelColor(f->Monitor->CellCenter(0)), Colors::kWhite);
        QCOMPARE(shown.pixelColor(f->Monitor->CellCenter(100)), Colors::MenuBackground());
    }

    void theLabelsBesideARowWriteItsHalves_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("row caption B") << "Label7_11" << 0 << Frame("QM0B0FF");
        QTest::newRow("gap label 0") << "Label4_0" << 0 << Frame("QM008FF");
        QTest::newRow("left of the two right labels") << "Label5_15" << 3 << Frame("QM3F000");
        QTest::newRow("right-hand label B") << "Label24_11" << 0 << Frame("QM0B800");
        QTest::newRow("row caption A, line 2") << "Label7_10" << 2 << Frame("QM2A0FF");
        // The blank Label11 lies under Label5, which takes the click there.
        QTest::newRow("where blank label 3 lies") << "Label11_3" << 1 << Frame("QM13000");
    }
    void theLabelsBesideARowWriteItsHalves() {
        QFETCH(QString, label);
        QFETCH(int, line);
        QFETCH(QByteArray, sent);
        PanelFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        f.State().ScanLine = static_cast<int16_t>(line);
        f.Forget();
        const int before = f.State().ByteCount;
        QVERIFY(f->Frame6->findChild<VbLabel*>(label) != nullptr);
        PressOn(f, label, false); // whatever lies on top there takes the click
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{sent});
        QCOMPARE(f.State().ByteCount, before);
    }

    void theReadoutNamesTheCellUnderTheMouse_data() {
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("shown");
        QTest::newRow("hex 7") << false << 7 << "07";
        QTest::newRow("hex 200") << false << 200 << "C8";
        QTest::newRow("hex 255") << false << 255 << "FF";
        QTest::newRow("dec 7") << true << 7 << "  7";
        QTest::newRow("dec 42") << true << 42 << " 42";
        QTest::newRow("dec 200") << true << 200 << "200";
        QTest::newRow("dec 0") << true << 0 << "  0";
    }
    void theReadoutNamesTheCellUnderTheMouse() {
        QFETCH(bool, decimal);
        QFETCH(int, cell);
        QFETCH(QString, shown);
        PanelFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        QTest::mouseClick(f->Option4(decimal ? 0 : 1), Qt::LeftButton);
        QCOMPARE(f->Option4(0)->Value(), decimal);
        QCOMPARE(f->Option4(1)->Value(), !decimal);
        f.MoveOverCell(cell);
        QTRY_COMPARE(f->Label2(4)->Caption(), shown);
        // Onto the Dec and Hex buttons: they are elements, not the frame.
        for (int i : {0, 1}) {
            QTest::mouseMove(f->Option4(i));
            QTest::qWait(20);
            QCOMPARE(f->Label2(4)->Caption(), shown);
        }
        // Onto the frame's own background: the readout empties.
        const QPoint background = FrameBackground(f->Frame6);
        QVERIFY(background.x() >= 0);
        QTest::mouseMove(f->Frame6, background);
        QTRY_COMPARE(f->Label2(4)->Caption(), QString());
        // The gap between the upper and the lower eight rows is background too.
        f.MoveOverCell(cell);
        QTRY_COMPARE(f->Label2(4)->Caption(), shown);
        const QRect row7 = f->Picture1(7 * 16)->geometry();
        QTest::mouseMove(f->Frame6, QPoint(row7.center().x(), row7.bottom() + 2));
        QTRY_COMPARE(f->Label2(4)->Caption(), QString());
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
    }

    // A double-click on a label or a monitor cell acts as one click; a
    // command button acts on each of its two presses.
    void aDoubleClickIsOneClickExceptOnButtons_data() {
        QTest::addColumn<QString>("element");
        QTest::addColumn<int>("clicksItEquals");
        QTest::newRow("monitor cell") << "Picture1_42" << 1;
        QTest::newRow("unit type cell") << "Label13_0" << 1;
        QTest::newRow("unit value cell") << "Label13_4" << 1;
        QTest::newRow("unit caption") << "Label12_0" << 1;
        QTest::newRow("period display") << "Label2_11" << 1;
        QTest::newRow("sampling toggle") << "Label9_5" << 1;
        QTest::newRow("row caption") << "Label7_3" << 1;
        QTest::newRow("ScanMax +") << "Command2_7" << 2;
    }
    void aDoubleClickIsOneClickExceptOnButtons() {
        QFETCH(QString, element);
        QFETCH(int, clicksItEquals);
        PanelFixture single;
        PanelFixture twice;
        for (PanelFixture* f : {&single, &twice}) {
            (*f)->show();
            QVERIFY(QTest::qWaitForWindowExposed(f->Form.get()));
            f->Forget();
        }
        const Effect before = EffectOf(single);
        for (int i = 0; i < clicksItEquals; ++i) {
            PressOn(single, element, false);
        }
        PressOn(twice, element, true);
        const Effect once = EffectOf(single);
        QVERIFY(!(once == before));
        const Effect doubled = EffectOf(twice);
        QCOMPARE(doubled.Sent, once.Sent);
        QCOMPARE(doubled.Captions, once.Captions);
    }

    void aNewChoiceActsFromTheNextMove() {
        PanelFixture f;
        f->Picture1_MouseMove(200);
        QCOMPARE(f->Label2(4)->Caption(), QStringLiteral("C8"));
        f->Option4(0)->SetValue(true);
        QVERIFY(!f->Option4(1)->Value());
        QCOMPARE(f->Label2(4)->Caption(), QStringLiteral("C8"));
        f->Picture1_MouseMove(200);
        QCOMPARE(f->Label2(4)->Caption(), QStringLiteral("200"));
        f->Option4(1)->SetValue(true);
        QVERIFY(!f->Option4(0)->Value());
        f->Picture1_MouseMove(5);
        QCOMPARE(f->Label2(4)->Caption(), QStringLiteral("05"));
    }
};

QTEST_MAIN(TestGridCommands)
#include "test_grid_commands.moc"
