// The bit monitor as an input: single bits, half rows, and the readout of the
// cell under the mouse.
#include "core/Form1.h"
#include "link/HexText.h"

void Form1::SendBitWrite(const QByteArray& lineDigit, const QByteArray& cellDigits,
                         const QByteArray& stateDigit) {
    if (SendCommand("QW" + lineDigit + cellDigits + stateDigit)) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 12);
    }
}

void Form1::Picture1_Click(int index) {
    if (index < 0 || index > 255) {
        return;
    }
    // The state digit follows the bit as the unit last reported it, not what
    // the cell shows: "3" sets a 0 bit, "2" clears a 1 bit.
    const int bit = State.ScanBits.at(static_cast<std::size_t>(256 * State.ScanLine + index));
    SendBitWrite(LineDigit(), Hex2(index).toLatin1(), bit == 0 ? "3" : "2");
}

namespace {
// "QM", the line, the first cell of a half row in hex, and the byte for it.
QByteArray HalfRowCommand(const QByteArray& lineDigit, int row, char half, const char* byte) {
    return "QM" + lineDigit + Hex1(row).toLatin1() + half + byte;
}
} // namespace

void Form1::Label7_Click(int index) {
    SendCommand(HalfRowCommand(LineDigit(), index, '0', "FF"));
}
void Form1::Label4_Click(int index) {
    SendCommand(HalfRowCommand(LineDigit(), index, '8', "FF"));
}
void Form1::Label5_Click(int index) {
    SendCommand(HalfRowCommand(LineDigit(), index, '0', "00"));
}
void Form1::Label24_Click(int index) {
    SendCommand(HalfRowCommand(LineDigit(), index, '8', "00"));
}
void Form1::Label11_Click(int /*index*/) {}

void Form1::Picture1_MouseMove(int index) {
    if (Option4(0)->Value()) {
        Label2(4)->SetCaption(QString::number(index).rightJustified(3, QLatin1Char(' ')));
    } else {
        Label2(4)->SetCaption(Hex2(index));
    }
}

void Form1::Frame6_MouseMove() {
    // Cells and labels keep their own moves, so this is the frame's background.
    Label2(4)->SetCaption(QString());
}

void Form1::Option4_Click(int index) {
    // The layer keeps the pair exclusive; the choice acts from the next move.
    if (index == 0) {
        Option4(1)->SetValue(false);
    } else if (index == 1) {
        Option4(0)->SetValue(false);
    }
}
