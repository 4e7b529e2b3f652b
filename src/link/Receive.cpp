// Reception of one reply frame per receive event.
#include "core/Form1.h"
#include "link/FrameCollector.h"
#include "trace/LogFiles.h"

#include <utility>

namespace {

// The serial control seen as the collector's byte source.
class SerialByteSource : public ByteSource {
public:
    SerialByteSource(SerialControl& serial, Clock& time)
        : Serial(serial), Time(time), StartNs(time.NowNs()) {}
    int Read(uint8_t* dst, int max) override {
        // A fault closes the port from inside a read or a wait.
        return Serial.PortOpen() ? Serial.ReadWaiting(dst, max) : kLineClosed;
    }
    void WaitForBytes(int maxMs) override { Serial.WaitForInput(maxMs); }
    void Pause(int microseconds) override { Time.Hold(microseconds); }
    double ElapsedMs() override { return static_cast<double>(Time.NowNs() - StartNs) / 1e6; }
    void DiscardWaiting() override { Serial.ClearInBuffer(); }
    void PutBack(const uint8_t* bytes, int count) override {
        Serial.PutBack(QByteArray(reinterpret_cast<const char*>(bytes), count));
    }

private:
    SerialControl& Serial;
    Clock& Time;
    qint64 StartNs;
};

} // namespace

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != SerialControl::kEvReceive || !MSComm1->PortOpen()) {
        return;
    }
    // Collecting a frame holds the window until the frame is complete or the
    // line has been quiet for the frame's silence budget; the thread sleeps
    // meanwhile and takes the waiting bytes in batches.
    SerialByteSource source(*MSComm1, Time());
    // The reply awaited is this frame's to use, whatever the frame turns out
    // to be; a receive event nested in this one's dispatch awaits nothing.
    const AwaitedReply awaited = std::exchange(Awaited, AwaitedReply{});
    const FrameOutcome frame =
        CollectFrame(source, State.ReceiveBuffer.data(), CheckerState::kReceiveBufferSize, awaited);
    // Copied before the dispatcher, whose waits may let a nested receive event
    // refill the buffer.
    const QByteArray bytes(reinterpret_cast<const char*>(State.ReceiveBuffer.data()), frame.Count);
    if (Trace != nullptr) {
        Trace->Received(bytes, frame, CheckerState::kReceiveBufferSize);
    }
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
    emit FrameHandled(bytes, frame);
}
