// The reply dispatcher: plays the modem towards the unit's Hayes command lines,
// then routes the frame by its two-character reply code.
#include "core/Form1.h"
#include "link/HexText.h"

void Form1::DispatchReply(int len) {
    // The frame text is copied before any wait: a receive event that runs
    // inside one of the waits below refills the receive buffer from index 0.
    const int last = std::clamp(len, 0, CheckerState::kReceiveBufferSize - 1);
    QByteArray s(reinterpret_cast<const char*>(State.ReceiveBuffer.data()), last + 1);
    State.ByteCount = static_cast<int16_t>(State.ByteCount + len + 1);

    // Modem answers. A window that closes during one of their waits has sent
    // the unit its memory clear; what would follow it is not sent.
    if (s == "AT") {
        s = "AT&";
    }
    const QByteArray t = s.left(3);
    if (t == "AT&") {
        TraceReading(QStringLiteral("modem answer OK, then the version request"));
        SendModemLine("OK");
        WaitTimer(500);
        RequestVersion();
    } else if (t == "ATH") {
        TraceReading(QStringLiteral("modem answer OK"));
        SendModemLine("OK");
    } else if (t == "+++") {
        TraceReading(QStringLiteral("modem answer OK after 1500 ms"));
        WaitTimer(1500);
        SendModemLine("OK");
    } else if (t == "AT#") {
        const char fourth = s.size() > 3 ? s.at(3) : '\0';
        if (fourth == 'Q') {
            TraceReading(QStringLiteral("modem answer 4, then the version request"));
            SendModemLine("4");
            WaitTimer(200);
            RequestVersion();
        } else if (fourth == 'R') {
            TraceReading(QStringLiteral("modem answer: the version request"));
            RequestVersion();
        }
    }

    // Reply codes. Modem lines match none of them.
    const QByteArray code = s.mid(2, 2);
    if (code == "QD") {
        HandleScanQD(s);
    } else if (code == "QB") {
        HandleScanQB(s);
    } else if (code == "Qf") {
        HandleScanQf(s);
    } else if (code == "Qz") {
        HandleSensorQz(s);
    } else if (code == "Qy") {
        HandleSensorQy(s);
    } else if (code == "Qw") {
        HandleOutputQw(s);
    } else if (code == "QG") {
        HandleCounterQG(s);
    } else if (code == "QV") {
        HandleVersionQV(s);
    }
    // "QX", "Q?", "Q!", "QQ", "QZ", "QH", "QO", "QP", "QL", "Q@" and the modem
    // result lines (OK, RING, CONNECT, BUSY, NO CARRIER) need no action.
}

void Form1::HandleCounterQG(const QByteArray& s) {
    const uint32_t a = FieldHex(s, 5, 2);
    const uint32_t b = FieldHex(s, 7, 2);
    const uint32_t c = FieldHex(s, 9, 2);
    State.CounterValue = static_cast<int32_t>(a * 65536 + b * 256 + c);
    Label2(5)->SetCaption(QString::number(State.CounterValue));
    TraceReading(QStringLiteral("counter %1").arg(State.CounterValue));
}

void Form1::HandleVersionQV(const QByteArray& s) {
    const QByteArray family = Field(s, 6, 2).toByteArray();
    const int second = family == "RA" ? 23 : 24;
    const QString version = QString::fromLatin1(Field(s, 6, 8).toByteArray()) +
                            QStringLiteral("   ") +
                            QString::fromLatin1(Field(s, second, 8).toByteArray());
    Label2(1)->SetCaption(version);
    TraceReading(QStringLiteral("ROM %1").arg(version.simplified()));
    State.VersionReplied = 1;
    Label17->SetBackColor(Colors::kLightBlue);
    ConnectUnit();
    State.Connected = 1;
}
