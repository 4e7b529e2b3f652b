// Choosing and opening the serial port, and sending command frames on it.
#include "core/Form1.h"
#include "link/Frame.h"
#include "trace/LogFiles.h"

#include <algorithm>

void Form1::OpenCommPort(int port) {
    OpeningPort = true; // the option click raised below must not reopen the port
    MSComm1->SetCommPort(port);
    MenuItem* items[4] = {mnuCOM1, mnuCOM2, mnuCOM3, mnuCOM4};
    for (int k = 1; k <= 4; ++k) {
        items[k - 1]->setChecked(k == port);
    }
    for (int i = 0; i < 4; ++i) {
        if (i != port - 1) {
            Option2(i)->SetValue(false);
        }
    }
    Option2(port - 1)->SetValue(true);
    ConfigureCommPort();
    OpeningPort = false;
    const QString name = QStringLiteral("COM%1").arg(port);
    const QString device = MSComm1->DeviceName();
    NotSentTraced = false;
    LossNoticed = false; // the operator's choice: a later fault is a new loss
    if (MSComm1->SetPortOpen(true)) {
        OpenSinceMs = Time().NowMs();
        TracePort(QStringLiteral("opened %1 %2").arg(name, device));
        return;
    }
    QString reason;
    switch (MSComm1->LastFailure()) {
    case SerialControl::OpenFailure::NotFound:
        reason = QStringLiteral("The device does not exist.");
        break;
    case SerialControl::OpenFailure::InUse:
        reason = QStringLiteral("The port is in use by another program.");
        break;
    case SerialControl::OpenFailure::NoPermission:
        reason = QStringLiteral("Permission denied: add your user to the 'dialout' group "
                                "(sudo usermod -aG dialout $USER) and log in again.");
        break;
    default:
        reason = MSComm1->LastError();
        break;
    }
    TracePort(QStringLiteral("open failed %1 %2: %3").arg(name, device, reason));
    Boxes->Information(QStringLiteral("Information"),
                       QStringLiteral("%1 (%2) を開けません。\r\nCannot open %1 (%2).\r\n%3\r\n"
                                      "Choose a port under 設定(&S) > COMポート(&C) or Com select.")
                           .arg(name, device, reason));
}

void Form1::ConfigureCommPort() {
    MSComm1->SetSettings(QStringLiteral("9600,N,8,1"));
    MSComm1->SetRThreshold(1);
    MSComm1->SetInputLen(1);
    MSComm1->SetInputMode(1);
}

void Form1::SwitchCommPort(int port) {
    PortWatch->Stop(); // the operator's choice replaces the watch for a lost device
    // A port that could not be opened leaves none open; choosing one then opens it.
    if (MSComm1->PortOpen()) {
        MSComm1->SetPortOpen(false);
        TracePort(QStringLiteral("closed COM%1").arg(MSComm1->CommPort()));
    }
    OpenCommPort(port);
}

void Form1::mnuCOM_Click(int port) {
    SwitchCommPort(port);
}

void Form1::Option2_Click(int index) {
    if (OpeningPort || index < 0 || index > 3) {
        return;
    }
    SwitchCommPort(index + 1);
}

bool Form1::SendCommand(QByteArrayView codeAndArguments) {
    const bool sent = SendFrame(FrameKind::Command, CommandFrame(codeAndArguments));
    // The next frame to come in is most likely this command's reply; where
    // its lengths are known, its reception sleeps until it may be complete.
    Awaited = sent ? ReplyAwaitedFor(codeAndArguments) : AwaitedReply{};
    return sent;
}

bool Form1::SendModemLine(QByteArrayView text) {
    Awaited = {};
    return SendFrame(FrameKind::ModemLine, ModemLine(text));
}

bool Form1::SendFrame(FrameKind kind, const QByteArray& frame) {
    // Once the stop sequence's memory clear is out the unit is left alone,
    // even by a reply whose receive event was already queued at that moment.
    if (Closing()) {
        return false;
    }
    // A lost port takes nothing: the frame is neither counted nor traced as
    // sent nor told to the watchers. The trace says so once per closed
    // stretch, not once per poll.
    if (!MSComm1->PortOpen()) {
        if (!NotSentTraced) {
            TracePort(QStringLiteral("not sent: port closed"));
            NotSentTraced = true;
        }
        return false;
    }
    NotSentTraced = false;
    MSComm1->Output(frame);
    if (Trace != nullptr) {
        Trace->Sent(kind, frame);
    }
    emit FrameSent(frame);
    return true;
}

void Form1::OnPortFault(const QString& reason) {
    // A port that worked for a while before it failed is a new loss, told to
    // the operator; one that fails again soon after the watch reopened it is
    // the same loss, reopened quietly after a longer wait each time.
    const bool newLoss =
        !LossNoticed || OpenSinceMs < 0 || Time().NowMs() - OpenSinceMs >= Reopen.WorkedMs;
    ReopenDelayMs = newLoss ? Reopen.FirstMs : std::min(2 * ReopenDelayMs, Reopen.LongestMs);
    LossNoticed = true;
    // The device is looked for from now on, also while the notice is up, and
    // reopened as soon as it is back.
    if (!Closing()) {
        PortWatch->Start(ReopenDelayMs);
    }
    NotSentTraced = false;
    const QString name = QStringLiteral("COM%1").arg(MSComm1->CommPort());
    TracePort(QStringLiteral("fault %1 %2: %3").arg(name, MSComm1->DeviceName(), reason));
    if (!newLoss) {
        TracePort(QStringLiteral("failing again, looked for every %1 ms").arg(ReopenDelayMs));
        return;
    }
    // The fault may be found in the middle of a frame's collection. The box
    // serves events while it is open; shown from here it would run receive
    // events inside the collection. Queued, it opens once the collection has
    // returned.
    const QString text = QStringLiteral("%1 (%2) が切断されました。\r\nThe port %1 (%2) failed "
                                        "and was closed: %3\r\nIt is reopened when the device "
                                        "comes back; or choose a port.")
                             .arg(name, MSComm1->DeviceName(), reason);
    QMetaObject::invokeMethod(
        this, [this, text] { Boxes->Information(QStringLiteral("Information"), text); },
        Qt::QueuedConnection);
}

void Form1::PortWatch_Timer() {
    if (Closing() || MSComm1->PortOpen()) {
        PortWatch->Stop();
        return;
    }
    // Opened as choosing the port opens it: same port, same settings, and the
    // same handlers, which stay connected to the serial control.
    ConfigureCommPort();
    const bool reopened = MSComm1->Reopen();
    const bool other =
        !reopened && MSComm1->LastFailure() == SerialControl::OpenFailure::OtherDevice;
    if (other && !OtherDeviceTraced) {
        TracePort(QStringLiteral("not reopened: %1").arg(MSComm1->LastError()));
    }
    OtherDeviceTraced = other;
    if (reopened) {
        PortWatch->Stop();
        OpenSinceMs = Time().NowMs();
        TracePort(QStringLiteral("reopened COM%1 %2")
                      .arg(MSComm1->CommPort())
                      .arg(MSComm1->DeviceName()));
    }
}

void Form1::TraceReading(const QString& text) {
    if (Trace != nullptr) {
        Trace->Reading(text);
    }
}

void Form1::TracePort(const QString& text) {
    if (Trace != nullptr) {
        Trace->Port(text);
    }
}
