#include "link/FrameCollector.h"

#include <algorithm>
#include <cmath>

FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size) {
    ReplyReceiver receiver(buffer, size);
    ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
    while (result == ReplyReceiver::Result::Collecting) {
        if (source.Available() > 0) {
            result = receiver.Feed(source.ReadByte());
            continue;
        }
        const double quiet = std::max(0.0, source.ElapsedMs() - WireTimeMs(receiver.Count()));
        const double budget = receiver.SilenceBudgetMs();
        if (quiet > budget) {
            result = receiver.EndBySilence();
            break;
        }
        // At least one whole millisecond, so that the quiet time is past the
        // budget after the last wait rather than looping on a fraction.
        const int left = static_cast<int>(std::floor(budget - quiet)) + 1;
        source.WaitForBytes(std::min(left, kQuietPollMs));
    }
    source.DiscardWaiting();
    return {result, receiver.EndLfPos(), receiver.Count()};
}
