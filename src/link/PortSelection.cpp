// Choosing and opening the serial port, and sending command frames on it.
#include "core/Form1.h"
#include "link/Framing.h"

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
    if (MSComm1->SetPortOpen(true)) {
        return;
    }
    const QString name = QStringLiteral("COM%1").arg(port);
    const QString device = MSComm1->DeviceName();
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

void Form1::mnuCOM_Click(int port) {
    PortWatch->stop(); // the operator's choice replaces the watch for a lost device
    // A port that could not be opened leaves none open; choosing one then opens it.
    if (MSComm1->PortOpen()) {
        MSComm1->SetPortOpen(false);
    }
    OpenCommPort(port);
}

void Form1::Option2_Click(int index) {
    if (OpeningPort || index < 0 || index > 3) {
        return;
    }
    PortWatch->stop();
    if (MSComm1->PortOpen()) {
        MSComm1->SetPortOpen(false);
    }
    OpenCommPort(index + 1);
}

void Form1::SendCommand(QByteArrayView codeAndArguments) {
    // Once the stop sequence's memory clear is out the unit is left alone,
    // even by a reply whose receive event was already queued at that moment.
    if (!Closing()) {
        MSComm1->Output(CommandFrame(codeAndArguments));
    }
}

void Form1::SendModemLine(QByteArrayView text) {
    if (!Closing()) {
        MSComm1->Output(ModemLine(text));
    }
}

void Form1::OnPortFault(const QString& reason) {
    // The device is looked for once a second from now on, also while the
    // notice is up, and reopened as soon as it is back.
    if (!Closing()) {
        PortWatch->start();
    }
    const QString name = QStringLiteral("COM%1").arg(MSComm1->CommPort());
    Boxes->Information(QStringLiteral("Information"),
                       QStringLiteral("%1 (%2) が切断されました。\r\nThe port %1 (%2) failed and "
                                      "was closed: %3\r\nIt is reopened when the device comes "
                                      "back; or choose a port.")
                           .arg(name, MSComm1->DeviceName(), reason));
}

void Form1::PortWatch_Timer() {
    if (Closing() || MSComm1->PortOpen()) {
        PortWatch->stop();
        return;
    }
    // Opened as choosing the port opens it: same port, same settings, and the
    // same handlers, which stay connected to the serial control.
    ConfigureCommPort();
    if (MSComm1->SetPortOpen(true)) {
        PortWatch->stop();
    }
}
