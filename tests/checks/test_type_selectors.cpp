// The unit type selectors: clicks on a row of the unit table step the unit's
// type forward, clicks on the row caption step it back; records decode by the
// type in force when they arrive.
#include "PanelFixture.h"

namespace {
const QStringList kForward = {"Tmp", "Volt", "4-20", "Ctr", "Timr", "kWH", "Wmtr", "TH", "Imd"};

QStringList TypeCells(PanelFixture& f) {
    QStringList cells;
    for (int u = 1; u <= 10; ++u) {
        cells << f->UnitRow(u)(0)->Caption();
    }
    return cells;
}

QList<int> TypeCodes(PanelFixture& f) {
    QList<int> codes;
    for (int u = 1; u <= 10; ++u) {
        codes << f.State().UnitData[static_cast<std::size_t>(u)][0];
    }
    return codes;
}

// A record of unit u (bytes 0 and 1) whose first value is v (three digits,
// low first), all other data 0, on line 0.
QByteArray Record(int unit, int v) {
    QByteArray data = QByteArray::number(unit, 16).toUpper().rightJustified(2, '0');
    std::reverse(data.begin(), data.end()); // low digit first
    data = data + data;
    QByteArray value = QByteArray::number(v, 16).toUpper().rightJustified(3, '0');
    std::reverse(value.begin(), value.end());
    data += value;
    return "Qf000" + data + QByteArray(64 - data.size(), '0');
}
} // namespace

class TestTypeSelectors : public QObject {
    Q_OBJECT
private slots:
    void nineForwardClicksOnAnyCellOfARowGoRound_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("cell");
        QTest::newRow("a1 type cell") << 1 << 0;
        QTest::newRow("a3 channel 1") << 3 << 1;
        QTest::newRow("a4 channel 5") << 4 << 5;
        QTest::newRow("a5 channel 8") << 5 << 8;
        QTest::newRow("a9 channel 2") << 9 << 2;
        QTest::newRow("a10 channel 8") << 10 << 8;
        QTest::newRow("a10 ScanMax display") << 10 << 9;
        QTest::newRow("a10 record number") << 10 << 10;
        QTest::newRow("a10 M-Code display") << 10 << 11;
    }
    void nineForwardClicksOnAnyCellOfARowGoRound() {
        QFETCH(int, unit);
        QFETCH(int, cell);
        PanelFixture f;
        VbLabel* target = f->UnitRow(unit)(cell);
        QVERIFY(target != nullptr);
        QStringList shown;
        QList<int> codes;
        for (int k = 0; k < 9; ++k) {
            QTest::mouseClick(target, Qt::LeftButton);
            shown << f->UnitRow(unit)(0)->Caption();
            codes << f.State().UnitData[static_cast<std::size_t>(unit)][0];
            // No other unit moves.
            QStringList others = TypeCells(f);
            others.removeAt(unit - 1);
            QCOMPARE(others, QStringList(9, "Imd"));
        }
        QCOMPARE(shown, kForward);
        QCOMPARE(codes, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 0}));
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{});
    }

    void backwardClicksOnTheRowCaptionGoRoundTheOtherWay() {
        PanelFixture f;
        QStringList shown;
        for (int k = 0; k < 9; ++k) {
            QTest::mouseClick(f->Label12(5), Qt::LeftButton); // "a6"
            shown << f->UnitRow(6)(0)->Caption();
        }
        QCOMPARE(shown,
                 QStringList({"TH", "Wmtr", "kWH", "Timr", "Ctr", "4-20", "Volt", "Tmp", "Imd"}));
        // Each caption steps its own unit only, and forward undoes backward.
        QTest::mouseClick(f->Label12(0), Qt::LeftButton); // "a1"
        QTest::mouseClick(f->Label12(9), Qt::LeftButton); // "a10"
        QTest::mouseClick(f->Label12(9), Qt::LeftButton);
        QCOMPARE(TypeCodes(f), (QList<int>{8, 0, 0, 0, 0, 0, 0, 0, 0, 7}));
        QCOMPARE(TypeCells(f), QStringList({"TH", "Imd", "Imd", "Imd", "Imd", "Imd", "Imd", "Imd",
                                            "Imd", "Wmtr"}));
        QTest::mouseClick(f->UnitRow(1)(3), Qt::LeftButton);
        QCOMPARE(f->UnitRow(1)(0)->Caption(), QStringLiteral("Imd"));
        QCOMPARE(f.State().UnitData[1][0], 0);
    }

    void theStripCaptionsStepNothing() {
        PanelFixture f;
        QTest::mouseClick(f->Label12(10), Qt::LeftButton); // "ScanMax"
        QTest::mouseClick(f->Label12(11), Qt::LeftButton); // "M-Code"
        QCOMPARE(TypeCodes(f), QList<int>(10, 0));
        QCOMPARE(TypeCells(f), QStringList(10, "Imd"));
        QCOMPARE(f->Label12(10)->Caption(), QStringLiteral("ScanMax"));
        QCOMPARE(f->Label12(11)->Caption(), QStringLiteral("M-Code"));
    }

    void aNewTypeDecodesTheNextRecordOnly() {
        PanelFixture f;
        QCOMPARE(f.State().ScanBitLast, 255); // eight channels a record
        f.Deliver(Record(3, 6));
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("6"));
        QCOMPARE(f->Label15(2)->Caption(), QStringLiteral("0"));

        QTest::mouseClick(f->Label15(4), Qt::LeftButton);
        QTest::mouseClick(f->Label15(0), Qt::LeftButton);
        QCOMPARE(f->Label15(0)->Caption(), QStringLiteral("Volt"));
        // The cells keep what the old type showed until the unit reports again.
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("6"));
        QCOMPARE(f.State().UnitData[3][1], 6);

        f.Deliver(Record(3, 6));
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("8")); // 7.5 to the even neighbour
        QCOMPARE(f.State().UnitData[3][1], 8);

        // A record of another unit is decoded by that unit's own type.
        f.Deliver(Record(4, 6));
        QCOMPARE(f->Label16(1)->Caption(), QStringLiteral("6"));
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("8"));

        // Two steps back from "Volt": raw values again.
        QTest::mouseClick(f->Label12(2), Qt::LeftButton);
        QTest::mouseClick(f->Label12(2), Qt::LeftButton);
        QCOMPARE(f->Label15(0)->Caption(), QStringLiteral("Imd"));
        f.Deliver(Record(3, 0x123));
        QCOMPARE(f->Label15(1)->Caption(), QStringLiteral("291"));
    }

    void theClearButtonLeavesTheTypes() {
        PanelFixture f;
        QTest::mouseClick(f->Label21(2), Qt::LeftButton);
        QTest::mouseClick(f->Label12(1), Qt::LeftButton);
        QTest::mouseClick(f->Command2(9), Qt::LeftButton); // "Clear"
        QCOMPARE(TypeCodes(f), (QList<int>{0, 8, 0, 0, 0, 0, 0, 0, 1, 0}));
        QCOMPARE(f->UnitRow(9)(0)->Caption(), QStringLiteral("Tmp"));
        QCOMPARE(f->UnitRow(2)(0)->Caption(), QStringLiteral("TH"));
    }
};

QTEST_MAIN(TestTypeSelectors)
#include "test_type_selectors.moc"
