// Connecting the unit: the version request, the connect sequences the LUP and
// RAV families expect from their modem, Restart and Reset.
#include "core/Form1.h"

#include <QList>

void Form1::RequestVersion() {
    if (SendCommand("QV")) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 8);
    }
}

void Form1::SendMemoryClear() {
    if (SendCommand("QC")) {
        State.ByteCount = static_cast<int16_t>(State.ByteCount + 8);
    }
}

void Form1::ConnectUnit() {
    State.RomFamily = Label2(1)->Caption().left(3);
    // The LUP and RAV families expect their modem's result codes, then the
    // family's opening commands, 200 ms apart.
    struct Step {
        bool ModemLine;
        const char* Text;
    };
    QList<Step> sequence;
    if (State.RomFamily == QLatin1String("LUP")) {
        sequence = {
            {true, "RING"}, {true, "CONNECT"}, {false, "QJD"}, {false, "QND"}, {false, "QRD"}};
    } else if (State.RomFamily == QLatin1String("RAV")) {
        sequence = {{true, "RING"}, {true, "CONNECT"}, {false, "QND"}, {false, "QRD"}};
    }
    for (const Step& step : sequence) {
        if (step.ModemLine) {
            SendModemLine(step.Text);
        } else {
            SendCommand(step.Text);
        }
        WaitTimer(200);
    }
    // A window closed during the sequence has stopped the unit: polling stays off.
    if (Closing()) {
        return;
    }
    Label17->SetBackColor(Colors::kLightBlue);
    Timer1->SetEnabled(true);
}

void Form1::Command3_Click(int index) {
    if (index == 0) {
        Restart();
    } else if (index == 1) {
        Reset();
    }
}

void Form1::Restart() {
    if (State.Connected != 0) {
        return;
    }
    Label2(1)->SetCaption(QString());
    State.ConnectTicks = 0;
    State.ConnectWaiting = 1;
    State.VersionReplied = 0;
    RequestVersion();
    // The one-second tick counts the wait up to its fourth tick; the 5 s
    // bound only keeps a stopped tick from holding the wait for ever.
    WaitUntil([this] { return State.ConnectTicks > 3 || State.VersionReplied == 1; }, 5000);
    State.ConnectWaiting = 0;
    if (Closing()) {
        return; // the window closed during the wait: nobody to tell
    }
    if (State.VersionReplied == 0) {
        Boxes->Information(QStringLiteral("Information"),
                           QStringLiteral("通信ができません！\r\nTry again !"));
        State.Connected = 0;
    } else {
        // The dispatcher has already run the connect sequence once while it
        // handled the reply; the unit receives it a second time here.
        ConnectUnit();
        State.Connected = 1;
    }
}

void Form1::Reset() {
    if (State.Connected != 1) {
        return;
    }
    // A window closed during one of the waits has run its own stop sequence,
    // whose memory clear is the last thing the unit receives; this Reset ends
    // there.
    SendCommand("QRD00");
    WaitTimer(200);
    SendMemoryClear();
    WaitTimer(200);
    if (Closing()) {
        return;
    }
    Timer1->SetEnabled(false);
    WaitTimer(500);
    if (Closing()) {
        return;
    }
    State.ByteCount = 0;
    Label2(3)->SetCaption(QStringLiteral("0"));
    if (State.RomFamily == QLatin1String("LUP")) {
        SendCommand("QF");
    } else if (State.RomFamily == QLatin1String("RAV")) {
        SendCommand("QF");
        WaitTimer(200);
        SendModemLine("NO CARRIER");
    }
    if (Closing()) {
        return;
    }
    Label17->SetBackColor(Colors::kWhite);
    for (int i : {1, 2, 3, 5}) {
        Label2(i)->SetCaption(QString());
    }
    for (int k = 1; k <= 8; ++k) {
        for (int u = 1; u <= 10; ++u) {
            UnitRow(u)(k)->SetCaption(QString());
        }
    }
    Text1->setText(QString());
    State.Connected = 0;
}
