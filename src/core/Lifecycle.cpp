// Start-up of the window and the stop sequence that ends the program.
#include "core/Form1.h"
#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"

#include <QMetaObject>

namespace {
const QString kAppTitle = QStringLiteral("ZEL_Checker");
}

void Form1::Form_Load() {
    for (int i = 0; i < 12; ++i) {
        State.BitWeights[static_cast<std::size_t>(i)] = static_cast<int16_t>(1 << i);
    }
    State.ScanBitLast = 255;
    State.PaintedBitLast = 255;
    for (const auto& [index, cell] : Picture1) {
        cell->SetBackColor(Colors::kWhite);
    }
    State.ReadCommandMode = 0;
    Label2(3)->SetCaption(QStringLiteral("0"));
    Label2(1)->SetCaption(QString());
    for (int u = 1; u <= 10; ++u) {
        UnitRow(u)(0)->SetCaption(UnitTypeCaptions().at(0));
    }
    State.ScanMax = 5;
    Label22(9)->SetCaption(QStringLiteral("5"));
    State.ScanMode = QStringLiteral("D");
    State.RecordIndex = 1;
    Label22(10)->SetCaption(QString());
    Option4(0)->SetValue(false);
    Option4(1)->SetValue(true);
    LoadThermistorText(State.ThermistorText);
    BuildThermistorTable(State.ThermistorText, State.ThermistorTable);
    // The other option groups start on their first button.
    Option1(0)->setChecked(true);
    Option3(0)->setChecked(true);
    OpenCommPort(1);
    State.SamplePeriod = 400;
    Timer1->SetInterval(400);
    Timer1->SetEnabled(false);
    menuSPLstop_Click();
    Timer2->SetInterval(1000);
    Timer2->SetEnabled(true);
    Timer3->SetInterval(0);
    Timer3->SetEnabled(true);
    RequestVersion();
}

void Form1::Form_QueryUnload(int& cancel, int /*unloadMode*/) {
    if (State.QuitAsked != 0) {
        return; // the stop sequence is already under way
    }
    State.QuitAsked = 1;
    if (!Boxes->Question(kAppTitle, QStringLiteral("終了しますか？"))) {
        cancel = -1;
        State.QuitAsked = 0;
        return;
    }
    StopAndUnload();
}

void Form1::StopAndUnload() {
    State.QuitAsked = 1;
    if (State.Connected == 1) {
        Command3_Click(1);
    }
    Timer1->SetEnabled(false);
    Timer2->SetEnabled(false);
    SendCommand("QRD00");
    WaitTimer(200);
    // A version reply handled during the wait may have restarted polling.
    Timer1->SetEnabled(false);
    SendMemoryClear();
    // Unload: the close request this raises meets Closing() and goes ahead.
    FinalClearSent = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Form1::mnuExit_Click() {
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
}
