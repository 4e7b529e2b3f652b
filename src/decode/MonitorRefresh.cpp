// Bringing the bit monitor and the record displays up to date after a scan
// reply, and writing a decoded unit record into its row of the unit table.
#include "core/Form1.h"
#include "decode/UnitRecord.h"
#include "link/HexText.h"
#include "trace/LogFiles.h"

void Form1::RefreshMonitor() {
    // A line outside 0..3 or a scan count above 255 (left by a rejected
    // over-long scan) must never reach past the grid or the line's bits.
    const int line = std::clamp<int>(State.ScanLine, 0, 3);
    const int base = 256 * line;
    const int last = std::clamp<int>(State.ScanBitLast, -1, 255);
    for (int i = 0; i <= last; ++i) {
        const auto at = static_cast<std::size_t>(base + i);
        const int16_t b = State.ScanBits.at(at);
        MonitorCell* cell = Monitor->Cell(i);
        // The cell is repainted when it does not show its bit: the bit changed
        // since the last paint, the cell is grey, or a "QB" or "Qf" reply came
        // for another line than the grid showed (the reply switches the line
        // without the copy of painted bits that the Line select makes, so the
        // line's ShownBits need not match the grid). Unchanged cells get no
        // colour.
        const bool showsBit =
            !cell->IsGrey() && cell->BackColor() == (b == 0 ? Colors::kWhite : Colors::kRed);
        if (!showsBit) {
            cell->SetBackColor(b == 0 ? Colors::kWhite : Colors::kRed);
        }
        State.ShownBits.at(at) = b;
    }
    if (State.ScanBitLast != State.PaintedBitLast) {
        for (int i = last + 1; i <= 255; ++i) {
            Monitor->Cell(i)->SetGrey();
        }
        State.PaintedBitLast = State.ScanBitLast;
    }
    const int r = State.ScanBytes[0];
    if (State.ScanMode == QLatin1String("F")) {
        Label22(10)->SetCaption(QString::number(r));
    }
    if (State.ScanBytes[1] == r) {
        int sum = 0;
        for (int i = 1; i <= 13; ++i) {
            sum += State.ScanBytes.at(static_cast<std::size_t>(i));
        }
        Label2(12)->SetCaption(Hex2(sum));
        Label2(13)->SetCaption(Hex2(State.ScanBytes[14]));
        Label22(11)->SetCaption(QString::number((State.ScanBytes[31] / 4) & 31));
        if (r >= 1 && r <= 10) {
            ShowUnitRecord(r);
        }
    }
}

void Form1::ShowUnitRecord(int unit) {
    if (unit < 1 || unit > 10) {
        return;
    }
    ControlArray<VbLabel>& row = UnitRow(unit);
    for (const CellText& cell : DecodeUnitRecord(State, unit)) {
        if (VbLabel* label = row(cell.Cell); label != nullptr && cell.Cell >= 1 && cell.Cell <= 8) {
            label->SetCaption(cell.Text);
        }
    }
    if (Records != nullptr) {
        QStringList channels;
        for (int c = 0; c <= 8; ++c) {
            const VbLabel* label = row(c);
            channels << (label != nullptr ? label->Caption() : QString());
        }
        const QString type = channels.takeFirst();
        Records->Write(unit, type, State.ScanBytes[0], channels);
    }
}
