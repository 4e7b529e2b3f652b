// The reply dispatcher: plays the modem towards the unit's Hayes command lines,
// then routes the frame by its two-character reply code.
#include "core/Form1.h"
#include "decode/ReplyRead.h"
#include "dispatch/ReplyTable.h"

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

    // Reply codes. Modem and result lines have none.
    if (const ReplyRoute* route = FindReplyRoute(ReadFrame(s, LineDirection::FromUnit))) {
        route->Handle(*this, s);
    }
    // "QX", "Q?", "Q!", "QQ", "QZ", "QH", "QO", "QP", "QL", "Q@" and the modem
    // result lines (OK, RING, CONNECT, BUSY, NO CARRIER) need no action.
}

namespace {

const ReplyRoute kReplyRoutes[] = {
    {"QD", 2, kScanCellCounts, [](Form1& f, const QByteArray& s) { f.HandleScanQD(s); }},
    {"QB", 3, kScanDigitCounts, [](Form1& f, const QByteArray& s) { f.HandleScanQB(s); }},
    {"Qf", 0, {}, [](Form1& f, const QByteArray& s) { f.HandleScanQf(s); }},
    {"Qz",
     0,
     {},
     [](Form1& f, const QByteArray& s) { f.HandleSensorQz(ReadSensorChannelReply(s)); }},
    {"Qy", 0, {}, [](Form1& f, const QByteArray& s) { f.HandleSensorQy(ReadSensorReply(s)); }},
    {"Qw", 0, {}, [](Form1& f, const QByteArray& s) { f.HandleOutputQw(ReadPortsReply(s)); }},
    {"QG", 0, {}, [](Form1& f, const QByteArray& s) { f.HandleCounterQG(ReadCounterReply(s)); }},
    {"QV", 0, {}, [](Form1& f, const QByteArray& s) { f.HandleVersionQV(ReadVersionReply(s)); }},
};

} // namespace

const ReplyRoute* FindReplyRoute(const Frame& frame) {
    if (frame.Kind != FrameKind::Reply) {
        return nullptr;
    }
    for (const ReplyRoute& route : kReplyRoutes) {
        if (route.Code == frame.Code) {
            return &route;
        }
    }
    return nullptr;
}

bool IsAcceptedScan(const Frame& frame) {
    const ReplyRoute* route = FindReplyRoute(frame);
    return route != nullptr && !route->Sizes.empty() &&
           IsAcceptedSize(route->Sizes, frame.Text().size() - route->DataAt);
}

void Form1::HandleCounterQG(int32_t counter) {
    State.CounterValue = counter;
    Label2(5)->SetCaption(QString::number(State.CounterValue));
    TraceReading(QStringLiteral("counter %1").arg(State.CounterValue));
}

void Form1::HandleVersionQV(const RomVersion& reply) {
    const QString version =
        QString::fromLatin1(reply.Name) + QStringLiteral("   ") + QString::fromLatin1(reply.Date);
    Label2(1)->SetCaption(version);
    TraceReading(QStringLiteral("ROM %1").arg(version.simplified()));
    State.VersionReplied = 1;
    Label17->SetBackColor(Colors::kLightBlue);
    ConnectUnit();
    State.Connected = 1;
}
