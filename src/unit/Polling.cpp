// Polling the unit at the sampling period, and the ways the period is set.
#include "core/Form1.h"
#include "link/HexText.h"

void Form1::Timer1_Timer() {
    if (State.ReadCommandMode == 0) {
        if (State.ScanMode == QLatin1String("D")) {
            PollQB();
        } else if (State.ScanMode == QLatin1String("F")) {
            PollQf();
        }
    } else if (State.ReadCommandMode == 1) {
        PollQA();
    }
    // The tick returns straight to the event loop, which serves the replies,
    // the other timers and the clicks before the next tick. Pumping events
    // from inside the tick instead intermittently stopped this timer for good
    // under Qt's glib event dispatcher.
}

void Form1::PollQA() {
    if (SendCommand("QA")) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 8);
    }
}

void Form1::PollQB() {
    if (SendCommand("QB" + LineDigit())) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 9);
    }
}

void Form1::PollQf() {
    SendCommand("Qf0" + Hex2(State.RecordIndex).toLatin1());
    ++State.RecordIndex;
    if (State.RecordIndex > State.ScanMax) {
        State.RecordIndex = 1;
    }
}

void Form1::SetPeriod(MenuItem* item, int period) {
    MenuItem* periodItems[6] = {menuT240, menuT400, menuT700, menuT1000, menuT2000, menuT4000};
    menuSPLstop->setChecked(item == nullptr);
    for (MenuItem* other : periodItems) {
        other->setChecked(other == item);
    }
    Timer1->SetEnabled(false);
    if (item == nullptr) {
        Label2(10)->SetCaption(QStringLiteral("停止"));
        Label2(11)->SetCaption(QString());
        State.SamplePeriod = 0;
        Timer1->SetInterval(0);
        return;
    }
    Label2(10)->SetCaption(QStringLiteral("自動"));
    Label2(11)->SetCaption(QString::number(period));
    State.SamplePeriod = static_cast<int16_t>(period);
    Timer1->SetInterval(period);
    Timer1->SetEnabled(true);
}

void Form1::menuSPLstop_Click() {
    SetPeriod(nullptr, 0);
}
void Form1::menuT240_Click() {
    SetPeriod(menuT240, 240);
}
void Form1::menuT400_Click() {
    SetPeriod(menuT400, 400);
}
void Form1::menuT700_Click() {
    SetPeriod(menuT700, 700);
}
void Form1::menuT1000_Click() {
    SetPeriod(menuT1000, 1000);
}
void Form1::menuT2000_Click() {
    SetPeriod(menuT2000, 2000);
}
void Form1::menuT4000_Click() {
    SetPeriod(menuT4000, 4000);
}

void Form1::Label9_Click(int /*index*/) {
    // Any caption of the information panel toggles 400 ms sampling and stop,
    // independently of the menu.
    if (State.SampleToggle == 0) {
        menuT400_Click();
        State.SampleToggle = 1;
    } else if (State.SampleToggle == 1) {
        State.SampleToggle = 0;
        menuSPLstop_Click();
    }
}

void Form1::Label2_Click(int index) {
    if (index == 0 || index == 1) {
        RequestVersion();
    } else if (index == 11) {
        ++State.PeriodStep;
        if (State.PeriodStep > 6) {
            State.PeriodStep = 0;
        }
        switch (State.PeriodStep) {
        case 0:
            menuSPLstop_Click();
            break;
        case 1:
            menuT240_Click();
            break;
        case 2:
            menuT400_Click();
            break;
        case 3:
            menuT700_Click();
            break;
        case 4:
            menuT1000_Click();
            break;
        case 5:
            menuT2000_Click();
            break;
        default:
            menuT4000_Click();
            break;
        }
    }
}
