#include "link/FrameCollector.h"

#include <algorithm>
#include <array>
#include <cmath>

double FrameCapMs(int bytes, int budgetMs) {
    return 2.0 * WireTimeMs(bytes) + budgetMs + kPauseAllowanceMs;
}

namespace {

// The bytes begin a frame: their first two pass the first two frame rules.
bool BeginsAFrame(const uint8_t* bytes, int count) {
    std::array<uint8_t, 2> head{};
    ReplyReceiver probe(head.data(), static_cast<int>(head.size()));
    for (int i = 0; i < count && i < 2; ++i) {
        if (probe.Feed(bytes[i]) == ReplyReceiver::Result::Rejected) {
            return false;
        }
    }
    return true;
}

} // namespace

FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size) {
    using Result = ReplyReceiver::Result;
    ReplyReceiver receiver(buffer, size);
    Result result = Result::Collecting;
    std::array<uint8_t, 512> chunk{};
    // The frame's first byte was waiting when the collection started.
    double lastByteAt = 0;
    bool byCap = false;
    int taken = 0;   // bytes read from the source, stored or not
    int carried = 0; // of those, bytes handed back as the next frame's start
    // Time left before the whole-frame cap ends the frame, at now.
    auto capLeftMs = [&receiver](double now) {
        const int capBytes = receiver.MayBeReply()
                                 ? receiver.Count()
                                 : std::min(receiver.Count(), kLongestModemLineBytes);
        return FrameCapMs(capBytes, receiver.SilenceBudgetMs()) - now;
    };
    while (result == Result::Collecting) {
        const int n = source.Read(chunk.data(), static_cast<int>(chunk.size()));
        if (n == ByteSource::kLineClosed) {
            result = receiver.EndByLineClosed();
            break;
        }
        if (n > 0) {
            taken += n;
            int used = 0;
            while (used < n && result == Result::Collecting) {
                result = receiver.Feed(chunk[static_cast<std::size_t>(used++)]);
            }
            // A frame that ended at its own last byte may have the next
            // frame's first bytes read with it (replies back to back).
            const bool endedAtItsEnd =
                result == Result::Accepted || result == Result::ChecksumError;
            if (endedAtItsEnd && used < n && BeginsAFrame(chunk.data() + used, n - used)) {
                carried = n - used;
                source.PutBack(chunk.data() + used, carried);
            }
            lastByteAt = source.ElapsedMs();
            if (result != Result::Collecting) {
                break;
            }
            // A stream without a line end never reads empty: the cap is
            // checked here too, not only when the line is quiet.
            if (capLeftMs(lastByteAt) < 0) {
                byCap = true;
                result = receiver.EndBySilence();
                break;
            }
            // A full chunk means more is waiting: read on at once.
            if (n < static_cast<int>(chunk.size()) && !receiver.EndIsNear()) {
                source.Pause(kBatchPauseUs);
            }
            continue;
        }
        const double now = source.ElapsedMs();
        const double quietLeft = receiver.SilenceBudgetMs() - (now - lastByteAt);
        const double capLeft = capLeftMs(now);
        if (quietLeft < 0 || capLeft < 0) {
            byCap = quietLeft >= 0;
            result = receiver.EndBySilence();
            break;
        }
        // At least one whole millisecond, so that the time is past the limit
        // after the last wait rather than looping on a fraction.
        source.WaitForBytes(static_cast<int>(std::floor(std::min(quietLeft, capLeft))) + 1);
    }
    if (carried == 0) {
        source.DiscardWaiting();
    }
    return {result,
            receiver.EndLfPos(),
            receiver.Count(),
            receiver.RejectReason(),
            receiver.RejectPos(),
            receiver.ReceivedSumHigh(),
            receiver.ReceivedSumLow(),
            receiver.ComputedSum(),
            byCap,
            taken - receiver.Count() - carried,
            carried};
}
