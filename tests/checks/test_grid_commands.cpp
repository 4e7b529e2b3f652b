// The bit monitor as an input: single-bit and half-row commands, and the
// readout of the cell under the mouse; and the double-click, which is one
// click on the panel's labels and cells.
#include "PanelFixture.h"

#include <QAccessible>
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

// The rectangle of an element in the window's coordinates.
QRect RectOf(PanelFixture& f, const QString& element) {
    if (element.startsWith(QLatin1String("Picture1_"))) {
        const QRect cell = f->Picture1(element.mid(9).toInt())->geometry(); // in the frame
        return cell.translated(f->Frame6->mapTo(f.Form.get(), QPoint(0, 0)));
    }
    const QWidget* w = f->findChild<QWidget*>(element);
    return w != nullptr ? QRect(w->mapTo(f.Form.get(), QPoint(0, 0)), w->size()) : QRect();
}

// A point of an element: its middle, or its first or last pixel column at
// half its height.
QPoint PointOf(PanelFixture& f, const QString& element, const QString& where) {
    const QRect r = RectOf(f, element);
    if (where == QLatin1String("left edge")) {
        return {r.left(), r.center().y()};
    }
    if (where == QLatin1String("right edge")) {
        return {r.right(), r.center().y()};
    }
    return CentreOf(f, element);
}

// What takes a press at a point of the window: a monitor cell, another
// element by its name, or "" for none of them.
QString ElementAt(PanelFixture& f, QPoint at) {
    const QWidget* w = f->childAt(at);
    if (w == f->Monitor) {
        const int cell = f->Monitor->CellAt(f->Monitor->mapFrom(f.Form.get(), at));
        return cell >= 0 ? ElementName("Picture1", cell) : QString();
    }
    return w != nullptr ? w->objectName() : QString();
}

// A press and a release at a point, through the window system, with the
// clock of the test's mouse moved on by `ms` before each.
void PressAndRelease(PanelFixture& f, QPoint at, int ms) {
    QWindow* window = f->windowHandle();
    const QPointF global = window->mapToGlobal(QPointF(at));
    QTest::lastMouseTimestamp += ms;
    qt_handleMouseEvent(window, at, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, {}, QTest::lastMouseTimestamp);
    QTest::lastMouseTimestamp += ms;
    qt_handleMouseEvent(window, at, global, Qt::NoButton, Qt::LeftButton,
                        QEvent::MouseButtonRelease, {}, QTest::lastMouseTimestamp);
    QCoreApplication::processEvents();
}

// Presses and releases through the window system, as a real mouse does: the
// second press of a quick pair is reported as a double-click. With a
// neighbour, the quick pair straddles the border between the two elements: 2
// pixels from it on the element, 2 pixels across on the neighbour.
void PressOn(PanelFixture& f, const QString& element, bool twiceQuickly,
             const QString& neighbour = {}) {
    const QPoint at = CentreOf(f, element);
    QVERIFY(at.x() >= 0);
    if (!neighbour.isEmpty()) {
        const QPoint other = CentreOf(f, neighbour);
        QVERIFY(other.x() >= 0);
        if (!twiceQuickly) { // two clicks well apart in time
            PressOn(f, element, false);
            PressOn(f, neighbour, false);
            return;
        }
        const QPoint mid = (at + other) / 2;
        const QPoint step = QPoint(other.x() != at.x() ? 2 : 0, other.y() != at.y() ? 2 : 0) *
                            (other.x() + other.y() > at.x() + at.y() ? 1 : -1);
        QCOMPARE(ElementAt(f, mid - step), element);
        QCOMPARE(ElementAt(f, mid + step), neighbour);
        PressAndRelease(f, mid - step, 20);
        PressAndRelease(f, mid + step, 20);
        QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;
        return;
    }
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
        QTest::newRow("bit 1 is cleared")
            << BitScan('1', "00000000004") << 42 << Wire("QW12A2");
        QTest::newRow("bit 0 is set")
            << BitScan('1', "00000000004") << 41 << Wire("QW1293");
        // Byte 31 = 0x80: the last cell of line 3.
        QTest::newRow("last cell")
            << BitScan('3', QByteArray(62, '0') + "08") << 255 << Wire("QW3FF2");
        QTest::newRow("first cell, line 0") << BitScan('0', "1") << 0 << Wire("QW0002");
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
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QW0C83")});
        // Line 2 reported with bit 0 set, then line 0 shown again by the Line
        // select without a new report: line 0's own bit decides.
        f.Deliver(BitScan('2', "1"));
        QVERIFY(f->Picture1(0)->BackColor() == Colors::kRed);
        f.State().ScanLine = 0;
        f.Forget();
        f.ClickCell(0);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QW0003")});
        // A greyed cell beyond a short scan still sends its command.
        f.Deliver("QB0" + QByteArray(8, '0'));
        QVERIFY(f->Picture1(100)->IsGrey());
        f.Forget();
        f.ClickCell(100);
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QW0643")});
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

        // The gaps between the four blocks show the frame's own colour: the
        // colour of the frame below the grid, where no element lies.
        const QImage frame = f->Frame6->grab().toImage();
        const QRect cell7 = f->Picture1(7)->geometry();
        const QRect cell0x80 = f->Picture1(0x80)->geometry();
        const QPoint below(cell0x80.center().x(),
                           (f->Picture1(0xF0)->geometry().bottom() + f->Frame6->height()) / 2);
        QVERIFY(f->Frame6->childAt(below) == nullptr);
        const QColor own = frame.pixelColor(below);
        for (const QPoint gap : {QPoint(cell7.right() + 2, cell7.center().y()),
                                 QPoint(cell0x80.center().x(), cell0x80.top() - 2),
                                 QPoint(cell7.right() + 2, cell0x80.top() - 2)}) {
            QCOMPARE(frame.pixelColor(gap), own);
        }
    }

    void aPressWritesWhatLiesOnTopThere_data() {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("bytesCounted");
        const QString middle = QStringLiteral("middle");
        QTest::newRow("row caption B")
            << "Label7_11" << middle << 0 << Wire("QM0B0FF") << 0;
        QTest::newRow("gap label 0") << "Label4_0" << middle << 0 << Wire("QM008FF") << 0;
        QTest::newRow("left of the two right labels")
            << "Label5_15" << middle << 3 << Wire("QM3F000") << 0;
        QTest::newRow("right-hand label B")
            << "Label24_11" << middle << 0 << Wire("QM0B800") << 0;
        QTest::newRow("row caption A, line 2")
            << "Label7_10" << middle << 2 << Wire("QM2A0FF") << 0;
        // The blank Label11 lies under Label5, which takes the click there.
        QTest::newRow("where blank label 3 lies")
            << "Label11_3" << middle << 1 << Wire("QM13000") << 0;
        // The cells lie above the gap labels, which reach over their edges.
        QTest::newRow("last column of cell 7")
            << "Picture1_7"
            << "right edge" << 0 << Wire("QW0073") << 12;
        QTest::newRow("first column of cell 8")
            << "Picture1_8"
            << "left edge" << 0 << Wire("QW0083") << 12;
    }
    void aPressWritesWhatLiesOnTopThere() {
        QFETCH(QString, element);
        QFETCH(QString, where);
        QFETCH(int, line);
        QFETCH(QByteArray, sent);
        QFETCH(int, bytesCounted);
        PanelFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        f.State().ScanLine = static_cast<int16_t>(line);
        f.Forget();
        const int before = f.State().ByteCount;
        QVERIFY(!RectOf(f, element).isEmpty());
        // Whatever lies on top there takes the click.
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {}, PointOf(f, element, where));
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{sent});
        QCOMPARE(f.State().ByteCount - before, bytesCounted);
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
    // command button acts on each of its two presses. Two quick presses on
    // neighbouring elements, across their border, are one click on each.
    void aDoubleClickIsOneClickExceptOnButtons_data() {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("neighbour"); // "" for both presses on the element
        QTest::addColumn<int>("clicksItEquals");
        // Both presses on one label or cell.
        for (const auto& [tag, element] : {std::pair{"monitor cell", "Picture1_42"},
                                           {"unit type cell", "Label13_0"},
                                           {"unit value cell", "Label13_4"},
                                           {"unit caption", "Label12_0"},
                                           {"period display", "Label2_11"},
                                           {"sampling toggle", "Label9_5"},
                                           {"row caption", "Label7_3"}}) {
            QTest::newRow(tag) << element << "" << 1;
        }
        QTest::newRow("ScanMax +") << "Command2_7"
                                   << "" << 2;
        QTest::newRow("cells 2 and 3") << "Picture1_2"
                                       << "Picture1_3" << 1;
        QTest::newRow("cells 0x12 and 0x22") << "Picture1_18"
                                             << "Picture1_34" << 1;
        QTest::newRow("labels right of row 3") << "Label5_3"
                                               << "Label24_3" << 1;
    }
    void aDoubleClickIsOneClickExceptOnButtons() {
        QFETCH(QString, element);
        QFETCH(QString, neighbour);
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
            PressOn(single, element, false, neighbour);
        }
        PressOn(twice, element, true, neighbour);
        if (QTest::currentTestFailed()) {
            return;
        }
        const Effect once = EffectOf(single);
        QVERIFY(!(once == before));
        const Effect doubled = EffectOf(twice);
        QCOMPARE(doubled.Sent, once.Sent);
        QCOMPARE(doubled.Captions, once.Captions);
    }

    // Each cell of the monitor is an accessible element of its own, found by
    // its name, at its place, telling its colour state.
    void everyCellIsAccessibleWithItsState_data() {
        QTest::addColumn<QByteArray>("scan");
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("state");
        // Byte 5 = 0x04: bit 42 of line 1 is 1, its neighbours 0.
        QTest::newRow("bit 1") << BitScan('1', "00000000004") << 42 << "1";
        QTest::newRow("bit 0 beside it") << BitScan('1', "00000000004") << 43 << "0";
        QTest::newRow("beyond a 32-bit scan") << "QB0" + QByteArray(8, 'F') << 32 << "grey";
    }
    void everyCellIsAccessibleWithItsState() {
        QFETCH(QByteArray, scan);
        QFETCH(int, cell);
        QFETCH(QString, state);
        PanelFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        f.Deliver(scan);
        const QString name = ElementName("Picture1", cell);
        QObject* element = f->findChild<QObject*>(name);
        QVERIFY2(element != nullptr, qPrintable(name));
        QAccessibleInterface* monitor = QAccessible::queryAccessibleInterface(f->Monitor);
        QVERIFY(monitor != nullptr);
        QCOMPARE(monitor->childCount(), 256);
        QAccessibleInterface* child = monitor->child(cell);
        QVERIFY(child != nullptr);
        QCOMPARE(child, QAccessible::queryAccessibleInterface(element));
        QCOMPARE(child->parent(), monitor);
        QCOMPARE(monitor->indexOfChild(child), cell);
        QCOMPARE(child->text(QAccessible::Name), name);
        QCOMPARE(child->text(QAccessible::Description), state);
        // At its place on the screen, and found there.
        const QRect onScreen(f->Frame6->mapToGlobal(f->Picture1(cell)->geometry().topLeft()),
                             f->Picture1(cell)->geometry().size());
        QCOMPARE(child->rect(), onScreen);
        QCOMPARE(monitor->childAt(onScreen.center().x(), onScreen.center().y()), child);
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
