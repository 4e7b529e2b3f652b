// Connecting the unit: the version request, the connect sequences the LUP and
// RAV families expect from their modem, Restart and Reset.
#include "core/Form1.h"
#include "link/Framing.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace {
QString Command(const char* code) {
    return QString::fromLatin1(CommandText(code));
}
QString RawLine(const char* text) {
    return QStringLiteral("\r\n%1\r\n").arg(QLatin1String(text));
}
} // namespace

void Form1::RequestVersion() {
    SendCommand(Command("QV"));
    State.ByteCount = static_cast<int16_t>(State.ByteCount + 8);
}

void Form1::SendMemoryClear() {
    SendCommand(Command("QC"));
    State.ByteCount = static_cast<int16_t>(State.ByteCount + 8);
}

void Form1::ConnectUnit() {
    State.RomFamily = Label2(1)->Caption().left(3);
    QStringList sequence;
    if (State.RomFamily == QLatin1String("LUP")) {
        sequence = {RawLine("RING"), RawLine("CONNECT"), Command("QJD"), Command("QND"),
                    Command("QRD")};
    } else if (State.RomFamily == QLatin1String("RAV")) {
        sequence = {RawLine("RING"), RawLine("CONNECT"), Command("QND"), Command("QRD")};
    }
    for (const QString& text : sequence) {
        // Once the stop sequence has sent its memory clear the unit is left
        // alone: a connect sequence that was running when the window closed
        // ends here instead of restarting the unit.
        if (Closing()) {
            return;
        }
        SendCommand(text);
        WaitTimer(200);
    }
    if (Closing()) {
        return;
    }
    Label17->SetBackColor(Colors::kLightBlue);
    Timer1->SetEnabled(true);
}

void Form1::Command3_Click(int index) {
    if (index == 0) {
        // Restart: ask again and wait up to the fourth one-second tick.
        if (State.Connected != 0) {
            return;
        }
        Label2(1)->SetCaption(QString());
        State.ConnectTicks = 0;
        State.ConnectWaiting = 1;
        State.VersionReplied = 0;
        RequestVersion();
        // The one-second tick ends the wait; the guard only keeps a stopped
        // tick (during the stop sequence) from holding it for ever.
        const QDeadlineTimer guard(5000);
        QTimer wake;
        wake.start(1000);
        while (State.ConnectTicks <= 3 && State.VersionReplied != 1 && !Closing() &&
               !guard.hasExpired()) {
            // Sleeps until the next event (a tick, a byte, a click) arrives.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        State.ConnectWaiting = 0;
        // An outer wait may be asleep in its own event processing; make it
        // look at its deadline again.
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
            dispatcher->wakeUp();
        }
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
    } else if (index == 1) {
        if (State.Connected != 1) {
            return;
        }
        // A window closed during one of the waits has run its own stop
        // sequence, whose memory clear is the last thing the unit receives.
        SendCommand(Command("QRD00"));
        WaitTimer(200);
        if (Closing()) {
            return;
        }
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
            SendCommand(Command("QF"));
        } else if (State.RomFamily == QLatin1String("RAV")) {
            SendCommand(Command("QF"));
            WaitTimer(200);
            if (Closing()) {
                return;
            }
            SendCommand(RawLine("NO CARRIER"));
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
}
