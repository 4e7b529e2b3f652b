// The check buttons: line patterns and clears, the memory clear, the typed
// command, the record scan controls and the 24-bit counter.
#include "checks/Patterns.h"
#include "core/Form1.h"
#include "link/HexText.h"

#include <map>

void Form1::RefuseOperatorText(uint codePoint) {
    const char32_t c = codePoint;
    const QString shown = QString::fromUcs4(&c, 1);
    const QString code =
        QString::number(codePoint, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    Boxes->Information(
        QStringLiteral("Information"),
        QStringLiteral("「%1」(U+%2) は送信できません。\r\nThe character \"%1\" (U+%2) "
                       "cannot be sent: only ASCII characters go to the unit.")
            .arg(shown, code));
}

void Form1::WriteLineData(const QByteArray& lineDigit, const QByteArray& digits) {
    // The rate display counts 72 for a line write, not its 75 bytes on the wire.
    if (SendCommand(LineWriteCommand(lineDigit, digits))) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 72);
    }
}

void Form1::WritePattern1() {
    WriteLineData(LineDigit(), Pattern1Digits(State.BitWeights));
}
void Form1::WritePattern2() {
    WriteLineData(LineDigit(), Pattern2Digits());
}
void Form1::WritePattern3() {
    WriteLineData(LineDigit(), Pattern3Digits());
}
void Form1::ClearLine() {
    WriteLineData(LineDigit(), ClearLineDigits());
}

void Form1::Command2_Click(int index) {
    struct Button {
        void (Form1::*Procedure)();
        bool PollingAfter; // enable polling again when done
    };
    // "+" and "-" leave polling stopped; "Stop" has restarted it at 400 ms.
    static const std::map<int, Button> buttons = {
        {0, {&Form1::ClearLine, true}},        {1, {&Form1::SendMemoryClear, true}},
        {2, {&Form1::WritePattern1, true}},    {3, {&Form1::WritePattern2, true}},
        {5, {&Form1::WritePattern3, true}},    {6, {&Form1::StopRecordScan, false}},
        {7, {&Form1::RaiseScanMax, false}},    {8, {&Form1::LowerScanMax, false}},
        {9, {&Form1::ClearUnitValues, true}},  {10, {&Form1::SendOperatorText, true}},
        {11, {&Form1::StartRecordScan, true}},
    };
    // No poll may go out between the parts of a button's work.
    Timer1->SetEnabled(false);
    const auto button = buttons.find(index);
    if (button == buttons.end()) {
        return;
    }
    (this->*button->second.Procedure)();
    if (button->second.PollingAfter) {
        Timer1->SetEnabled(true);
    }
}

void Form1::StopRecordScan() {
    State.ScanMode = QStringLiteral("D");
    SendCommand("QRD00");
    menuT400_Click();
    Label22(10)->SetCaption(QString());
}

void Form1::StartRecordScan() {
    State.ScanMode = QStringLiteral("F");
    SendCommand("QRF" + Hex2(State.ScanMax).toLatin1());
}

void Form1::RaiseScanMax() {
    if (State.ScanMax < 10) {
        ++State.ScanMax;
        Label22(9)->SetCaption(QString::number(State.ScanMax));
    }
}

void Form1::LowerScanMax() {
    if (State.ScanMax > 2) {
        --State.ScanMax;
        Label22(9)->SetCaption(QString::number(State.ScanMax));
    }
}

void Form1::ClearUnitValues() {
    for (int k = 1; k <= 8; ++k) {
        for (int u = 1; u <= 10; ++u) {
            UnitRow(u)(k)->SetCaption(QString());
        }
    }
}

void Form1::SendOperatorText() {
    // Each character goes out as one byte: a character outside ASCII has no
    // single byte and would arrive corrupted, so nothing is sent. (Typed text
    // stays limited to ASCII on purpose.)
    const QString text = Text1->text();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0x7F) {
            continue;
        }
        // A pair of surrogates is one character; half a pair is named by its
        // own code rather than as a replacement character.
        uint codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(c, text.at(i + 1));
        }
        RefuseOperatorText(codePoint);
        return;
    }
    SendCommand(text.toLatin1());
}

void Form1::Command1_Click(int index) {
    // The counter is read only while the bit scan carries all 256 bits.
    if (State.ScanBitLast != 255) {
        return;
    }
    if (index == 0) {
        SendCommand("QE");
    } else if (index == 1) {
        SendCommand("QG");
    }
}
