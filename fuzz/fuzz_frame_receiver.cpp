// Frame reception fed a serial line made from the fuzz input.
//
// Byte 0 sets the line: its low four bits choose the receive buffer (0 the
// checker's own 12,801 bytes, 1..15 a buffer of 3..45 bytes, so that the
// overflow rule is reached with short inputs); bit 4 delivers bytes in bursts
// instead of paced at 9600 baud. The rest is data and quiet gaps (FuzzLine.h).
// Frames are collected one after another, each starting when its first byte
// waits, as the receive event does, on a clock that only the waits move.
#include "FuzzLine.h"

#include "link/FrameCollector.h"
#include "link/HexText.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>

namespace {

using Result = ReplyReceiver::Result;

class FuzzLineSource : public ByteSource {
public:
    FuzzLineSource(const std::vector<LineByte>& line, bool paced) {
        double t = 0;
        for (const LineByte& b : line) {
            t += b.GapMs;
            if (paced || Pending.empty() || b.GapMs > 0) {
                t += WireTimeMs(1);
            }
            Pending.push_back({t, b.Byte});
        }
    }

    // Moves the clock to the next byte when none waits; false when the line
    // has nothing more to deliver.
    bool StartFrame() {
        Deliver();
        if (Queue.empty()) {
            if (Pending.empty()) {
                return false;
            }
            Now = Pending.front().AtMs;
            Deliver();
        }
        FrameStart = Now;
        Waits = 0;
        return true;
    }
    double LastArrivalMs() const { return LastArrival; }

    int Read(uint8_t* dst, int max) override {
        FUZZ_CHECK(max > 0);
        Deliver();
        int n = 0;
        while (n < max && !Queue.empty()) {
            dst[n++] = Queue.front();
            Queue.pop_front();
        }
        return n;
    }
    void WaitForBytes(int maxMs) override {
        // A wait must be able to let time pass; a collector that asks for
        // nothing, or waits endlessly on a line long gone quiet, spins.
        FUZZ_CHECK(maxMs > 0);
        FUZZ_CHECK(++Waits < 1000000);
        FUZZ_CHECK(Now < LastArrival + 60000);
        Deliver();
        if (!Queue.empty()) {
            return;
        }
        const double until = Now + maxMs;
        Now = Pending.empty() ? until : std::min(until, Pending.front().AtMs);
    }
    void Pause(int microseconds) override {
        FUZZ_CHECK(microseconds > 0 && ++Waits < 1000000);
        Now += microseconds / 1000.0;
    }
    bool Drained() {
        Deliver();
        return Queue.empty();
    }
    double ElapsedMs() override { return Now - FrameStart; }
    void DiscardWaiting() override {
        Deliver();
        Queue.clear();
    }
    void PutBack(const uint8_t* bytes, int count) override {
        FUZZ_CHECK(count > 0);
        Queue.insert(Queue.begin(), bytes, bytes + count);
        PutBackCount = count;
    }
    // Copies up to max of the bytes waiting now, without taking them.
    int Peek(uint8_t* dst, int max) const {
        int n = 0;
        for (auto it = Queue.begin(); it != Queue.end() && n < max; ++it) {
            dst[n++] = *it;
        }
        return n;
    }
    int PutBackCount = 0;

private:
    struct Arrival {
        double AtMs;
        uint8_t Byte;
    };
    void Deliver() {
        while (!Pending.empty() && Pending.front().AtMs <= Now) {
            Queue.push_back(Pending.front().Byte);
            LastArrival = Pending.front().AtMs;
            Pending.pop_front();
        }
    }

    std::deque<Arrival> Pending;
    std::deque<uint8_t> Queue;
    double Now = 0;
    double FrameStart = 0;
    double LastArrival = 0;
    long Waits = 0;
};

// Checks one collected frame against the frame rules that do not depend on
// timing: what the receiver hands on lies in the buffer, and a checksum
// verdict agrees with the byte sum.
void CheckFrame(const FrameOutcome& frame, const uint8_t* buffer, int size) {
    FUZZ_CHECK(frame.Result != Result::Collecting);
    FUZZ_CHECK(frame.Count >= 0 && frame.Count <= size);
    // A rejection names its reason, and only a rejection does.
    FUZZ_CHECK((frame.Result == Result::Rejected) ==
               (frame.Reason != ReplyReceiver::Rejection::None));
    if (frame.Result == Result::Accepted) {
        // The dispatcher reads indices 0..EndLfPos of the buffer.
        FUZZ_CHECK(frame.EndLfPos < size);
        FUZZ_CHECK(frame.EndLfPos <= frame.Count);
    }
    // A frame whose third byte is "Q" carries two checksum digits after the LF
    // that ends its text.
    const bool checksummed =
        frame.EndLfPos >= 4 && frame.Count == frame.EndLfPos + 3 && buffer[2] == 'Q';
    if (frame.Result == Result::ChecksumError) {
        FUZZ_CHECK(checksummed);
    }
    if (checksummed && frame.Result != Result::Rejected) {
        unsigned sum = 0;
        for (int i = 0; i <= frame.EndLfPos; ++i) {
            sum += buffer[i];
        }
        const int high = HexDigitValue(buffer[frame.EndLfPos + 1]);
        const int low = HexDigitValue(buffer[frame.EndLfPos + 2]);
        const bool right = high >= 0 && low >= 0 && high * 16 + low == static_cast<int>(sum % 256);
        FUZZ_CHECK(right == (frame.Result == Result::Accepted));
        FUZZ_CHECK(frame.ComputedSum == sum % 256);
        FUZZ_CHECK(buffer[frame.EndLfPos - 1] == '\r' && buffer[frame.EndLfPos] == '\n');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int sizeChoice = data[0] & 0x0F;
    const int bufferSize = sizeChoice == 0 ? 12801 : 3 * sizeChoice;
    const bool paced = (data[0] & 0x10) == 0;
    // The reply the last command asked for, if any: the collector then sleeps
    // towards where it may end, which must change none of the rules checked.
    const std::array<const char*, 8> commands = {"", "QB0", "QA", "Qf001", "QG", "QV", "", ""};
    const AwaitedReply awaited = ReplyAwaitedFor(commands[static_cast<size_t>(data[0] >> 5)]);
    FuzzLineSource line(DecodeLine(data + 1, size - 1), paced);
    // Exactly the buffer's size on the heap, so that a write past its end is
    // caught at once.
    const auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(bufferSize));
    while (line.StartFrame()) {
        line.PutBackCount = 0;
        const FrameOutcome frame = CollectFrame(line, buffer.get(), bufferSize, awaited);
        CheckFrame(frame, buffer.get(), bufferSize);
        FUZZ_CHECK(frame.CarriedBytes == line.PutBackCount);
        if (frame.CarriedBytes > 0) {
            // Only a frame that ended at its own last byte hands bytes on, and
            // only bytes that pass the first two frame rules: a first byte CR,
            // "A" or "+", a second LF, "T" or "+" (what comes after them is the
            // next frame's to judge, as if it had come later).
            FUZZ_CHECK(frame.Result == Result::Accepted || frame.Result == Result::ChecksumError);
            std::array<uint8_t, 2> head{};
            const int n = std::min(frame.CarriedBytes, 2);
            FUZZ_CHECK(line.Peek(head.data(), n) == n);
            const bool firstByte = head[0] == '\r' || head[0] == 'A' || head[0] == '+';
            const bool secondByte = n < 2 || head[1] == '\n' || head[1] == 'T' || head[1] == '+';
            const bool frameStart = firstByte && secondByte;
            FUZZ_CHECK(frameStart);
        } else {
            // Whatever was waiting at the frame's end is gone.
            FUZZ_CHECK(line.Drained());
        }
        // A line that trickles bytes holds the window no longer than the cap
        // of a frame with the longest silence budget.
        FUZZ_CHECK(line.ElapsedMs() <=
                   FrameCapMs(frame.Count, ReplyReceiver::kLongestBudgetMs) + 10);
    }
    return 0;
}
