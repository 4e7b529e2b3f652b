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

// The frame's bytes so far are the start of the awaited reply: CR, LF, "Q"
// and its code letter.
bool StartsAsAwaited(const uint8_t* frame, int count, const AwaitedReply& awaited) {
    const std::array<uint8_t, 4> head{0x0D, 0x0A, 'Q', static_cast<uint8_t>(awaited.Code)};
    for (int i = 0; i < count && i < static_cast<int>(head.size()); ++i) {
        if (frame[i] != head[static_cast<std::size_t>(i)]) {
            return false;
        }
    }
    return true;
}

// Frame text (CR LF, code, fields, CR LF) and checksum of a reply whose
// fields take the given number of characters.
constexpr int ReplyBytes(int fieldChars) {
    return 2 + 2 + fieldChars + 2 + 2;
}

} // namespace

AwaitedReply ReplyAwaitedFor(QByteArrayView codeAndArguments) {
    const QByteArrayView c = codeAndArguments;
    if (c.size() == 3 && c.startsWith("QB")) {
        // Line digit and 4 bits a digit.
        return {'B',
                {ReplyBytes(1 + 8), ReplyBytes(1 + 16), ReplyBytes(1 + 32), ReplyBytes(1 + 64)}};
    }
    if (c == "QA") {
        return {'D', {ReplyBytes(32), ReplyBytes(64), ReplyBytes(128), ReplyBytes(256)}};
    }
    if (c.size() == 5 && c.startsWith("Qf0")) {
        return {'f', {ReplyBytes(1 + 2 + 64)}}; // line digit, two characters, 64 digits
    }
    if (c == "QG") {
        return {'G', {ReplyBytes(6)}};
    }
    if (c == "QV") {
        // Board digit, ROM name and a second field that ends at the 30th or
        // 31st character of the text; what follows varies by unit.
        return {'V', {30 + 2 + 2}};
    }
    return {};
}

FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size, AwaitedReply awaited) {
    using Result = ReplyReceiver::Result;
    ReplyReceiver receiver(buffer, size);
    Result result = Result::Collecting;
    std::array<uint8_t, 512> chunk{};
    // The frame's first byte was waiting when the collection started.
    double lastByteAt = 0;
    bool byCap = false;
    int taken = 0;   // bytes read from the source, stored or not
    int carried = 0; // of those, bytes handed back as the next frame's start
    // The frame is still the awaited reply arriving at the line's speed: the
    // collector then sleeps towards its end instead of reading in batches.
    bool onCourse = awaited.NextEnd(buffer, 0) > 0;
    int countBeforeSleep = -1;
    double sleptMs = 0;
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
            const int count = receiver.Count();
            if (onCourse) {
                // Three quarters of the bytes the line's speed promised over
                // the last sleep, less one for a byte in flight at either end.
                const bool keptPace =
                    countBeforeSleep < 0 ||
                    count - countBeforeSleep >= sleptMs / WireTimeMs(1) * 3 / 4 - 1;
                onCourse = keptPace && awaited.NextEnd(buffer, count) > 0 &&
                           StartsAsAwaited(buffer, count, awaited);
            }
            if (onCourse) {
                // No longer at a go than the quiet that ends a frame: a reply
                // that stalls within a sleep is seen to have stopped at most
                // one budget later than between batch reads.
                sleptMs = std::min(WireTimeMs(awaited.NextEnd(buffer, count) - count),
                                   double(receiver.SilenceBudgetMs()));
                countBeforeSleep = count;
                source.Pause(std::max(1, static_cast<int>(std::ceil(sleptMs * 1000))));
            } else if (n < static_cast<int>(chunk.size()) && !receiver.EndIsNear()) {
                // A full chunk means more is waiting: read on at once.
                source.Pause(kBatchPauseUs);
            }
            continue;
        }
        // The line went quiet: from here on the frame is read as any other.
        onCourse = false;
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
