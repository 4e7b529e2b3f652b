#include "link/FrameCollector.h"

#include <algorithm>
#include <array>
#include <cmath>

double FrameCapMs(int bytes, int budgetMs) {
    return 2.0 * WireTimeMs(bytes) + budgetMs + kPauseAllowanceMs;
}

FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size) {
    ReplyReceiver receiver(buffer, size);
    ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
    std::array<uint8_t, 512> chunk{};
    // The frame's first byte was waiting when the collection started.
    double lastByteAt = 0;
    bool byCap = false;
    int taken = 0; // bytes read from the source, stored or not
    while (result == ReplyReceiver::Result::Collecting) {
        const int n = source.Read(chunk.data(), static_cast<int>(chunk.size()));
        if (n > 0) {
            taken += n;
            for (int i = 0; i < n && result == ReplyReceiver::Result::Collecting; ++i) {
                result = receiver.Feed(chunk[static_cast<std::size_t>(i)]);
            }
            lastByteAt = source.ElapsedMs();
            // A full chunk means more is waiting: read on at once.
            if (result == ReplyReceiver::Result::Collecting && n < static_cast<int>(chunk.size()) &&
                !receiver.EndIsNear()) {
                source.Pause(kBatchPauseUs);
            }
            continue;
        }
        const double now = source.ElapsedMs();
        const double budget = receiver.SilenceBudgetMs();
        const double quietLeft = budget - (now - lastByteAt);
        const int capBytes = receiver.MayBeReply()
                                 ? receiver.Count()
                                 : std::min(receiver.Count(), kLongestModemLineBytes);
        const double capLeft = FrameCapMs(capBytes, receiver.SilenceBudgetMs()) - now;
        if (quietLeft < 0 || capLeft < 0) {
            byCap = quietLeft >= 0;
            result = receiver.EndBySilence();
            break;
        }
        // At least one whole millisecond, so that the time is past the limit
        // after the last wait rather than looping on a fraction.
        source.WaitForBytes(static_cast<int>(std::floor(std::min(quietLeft, capLeft))) + 1);
    }
    source.DiscardWaiting();
    return {result,
            receiver.EndLfPos(),
            receiver.Count(),
            receiver.RejectReason(),
            receiver.RejectPos(),
            receiver.ReceivedSumHigh(),
            receiver.ReceivedSumLow(),
            receiver.ComputedSum(),
            byCap,
            taken - receiver.Count()};
}
