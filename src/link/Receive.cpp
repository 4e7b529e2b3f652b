// Reception of one reply frame per receive event.
#include "core/Form1.h"
#include "link/FrameCollector.h"

#include <QElapsedTimer>

namespace {

// The serial control seen as the collector's byte source.
class SerialByteSource : public ByteSource {
public:
    explicit SerialByteSource(SerialControl& serial) : Serial(serial) { Clock.start(); }
    int Available() override { return Serial.InBufferCount(); }
    uint8_t ReadByte() override {
        const QByteArray b = Serial.Input();
        return b.isEmpty() ? 0 : static_cast<uint8_t>(b.at(0));
    }
    void WaitForBytes(int maxMs) override { Serial.WaitForInput(maxMs); }
    double ElapsedMs() override { return static_cast<double>(Clock.nsecsElapsed()) / 1e6; }
    void DiscardWaiting() override { Serial.ClearInBuffer(); }

private:
    SerialControl& Serial;
    QElapsedTimer Clock;
};

} // namespace

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != SerialControl::kEvReceive || !MSComm1->PortOpen()) {
        return;
    }
    // Collecting a frame holds the window until the frame is complete or the
    // line has been quiet for the frame's silence budget; the thread sleeps
    // on the port meanwhile.
    SerialByteSource source(*MSComm1);
    const FrameOutcome frame =
        CollectFrame(source, State.ReceiveBuffer.data(), CheckerState::kReceiveBufferSize);
    switch (frame.Result) {
    case ReplyReceiver::Result::Accepted:
        Label23->SetBackColor(Colors::kLightBlue);
        if (frame.EndLfPos >= 1) {
            DispatchReply(frame.EndLfPos);
        }
        break;
    case ReplyReceiver::Result::ChecksumError:
        Label23->SetBackColor(Colors::kRed);
        break;
    default:
        break; // rejected frames leave the lamp as it was
    }
}
