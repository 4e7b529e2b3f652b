#include "link/FrameCollector.h"

#include <algorithm>
#include <cmath>

double FrameCapMs(int bytes, int budgetMs) {
    return 2.0 * WireTimeMs(bytes) + budgetMs;
}

FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size) {
    ReplyReceiver receiver(buffer, size);
    ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
    // The frame's first byte was waiting when the collection started.
    double lastByteAt = 0;
    while (result == ReplyReceiver::Result::Collecting) {
        if (source.Available() > 0) {
            result = receiver.Feed(source.ReadByte());
            lastByteAt = source.ElapsedMs();
            continue;
        }
        const double now = source.ElapsedMs();
        const double quietLeft = receiver.SilenceBudgetMs() - (now - lastByteAt);
        const double capLeft = FrameCapMs(receiver.Count(), receiver.SilenceBudgetMs()) - now;
        if (quietLeft < 0 || capLeft < 0) {
            result = receiver.EndBySilence();
            break;
        }
        // At least one whole millisecond, so that the time is past the limit
        // after the last wait rather than looping on a fraction.
        const int left = static_cast<int>(std::floor(std::min(quietLeft, capLeft))) + 1;
        source.WaitForBytes(std::min(left, kQuietPollMs));
    }
    source.DiscardWaiting();
    return {result, receiver.EndLfPos(), receiver.Count()};
}
