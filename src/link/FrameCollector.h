#pragma once

#include "link/ReplyReceiver.h"

#include <QByteArrayView>

#include <array>
#include <cstdint>

// Where the bytes of a frame come from: the serial control in the window, a
// fake with a scripted clock in the tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Takes every waiting byte, up to max, into dst; returns how many (0 when
    // none waits), or kLineClosed once the line has closed. Never blocks.
    virtual int Read(uint8_t* dst, int max) = 0;
    static constexpr int kLineClosed = -1;
    // Blocks until a byte may be waiting or maxMs passed.
    virtual void WaitForBytes(int maxMs) = 0;
    // Sleeps for the given time whatever arrives meanwhile; the bytes wait
    // for the next Read.
    virtual void Pause(int microseconds) = 0;
    virtual double ElapsedMs() = 0;    // time since the frame's collection started
    virtual void DiscardWaiting() = 0; // drops everything still queued
    // Returns bytes read with a frame's last ones that begin the next frame:
    // they are read again, ahead of anything still queued, and start the next
    // collection as freshly arrived bytes would.
    virtual void PutBack(const uint8_t* bytes, int count) = 0;
};

struct FrameOutcome {
    ReplyReceiver::Result Result;
    int EndLfPos;
    int Count;
    // Why and where a rejected frame was refused.
    ReplyReceiver::Rejection Reason = ReplyReceiver::Rejection::None;
    int ReasonPos = -1;
    // A checksummed frame's two received checksum characters and the sum
    // computed over the bytes before them.
    uint8_t ReceivedSumHigh = 0;
    uint8_t ReceivedSumLow = 0;
    uint8_t ComputedSum = 0;
    // The frame ended by the whole-frame cap rather than by quiet.
    bool EndedByCap = false;
    // Bytes read with the frame's last batch but not stored: those after its
    // end, or the one that did not fit. (What was still queued is discarded
    // unseen.)
    int DroppedBytes = 0;
    // Bytes read with the frame's last ones that begin the next frame: handed
    // back to the source, and what was still queued behind them kept.
    int CarriedBytes = 0;
};

// While a frame streams in and its end is not yet in sight, the collector
// sleeps this long between reads and takes what came meanwhile in one go: four
// byte times, so that the end of a checksummed reply (its CR, LF and two
// checksum characters) is seen at most about one byte time late.
inline constexpr int kBatchPauseUs = 4167;

// What the command just sent tells of the reply it asks for: the reply's
// code letter (the one after "Q") and the lengths it may have on the line,
// shortest first (0 after the last). For a reply whose length varies beyond
// its fixed fields, the last is the least it can be.
struct AwaitedReply {
    char Code = 0;
    std::array<int, 4> Lengths{};
    // The first length longer than the count bytes of the frame so far at
    // which the frame may still end (its text's closing CR four bytes before
    // that end, where that byte is in already), or 0 when there is none.
    int NextEnd(const uint8_t* frame, int count) const {
        for (int length : Lengths) {
            if (length > count && (count <= length - 4 || frame[length - 4] == 0x0D)) {
                return length;
            }
        }
        return 0;
    }
};

// The reply that the command (code and arguments, as handed to the sender)
// asks for, where its lengths follow from the command: the packed line scan
// "QB" (8, 16, 32 or 64 hex digits), the cell scan "QD" that answers "QA" (32,
// 64, 128 or 256 cells), the record "Qf", the counter "QG", and the version
// "QV" (at least its fixed fields). Nothing for any other command.
AwaitedReply ReplyAwaitedFor(QByteArrayView codeAndArguments);

// Collects one frame from the source into buffer (from index 0, never past
// size). Every wake-up takes all waiting bytes. The frame ends by silence when
// the line has been quiet for the frame's silence budget since its last byte,
// or, for a line that trickles bytes, when the whole frame has taken longer
// than FrameCapMs; the cap is checked on every read, so that a stream without
// a line end cannot hold the window either. A frame whose line closes ends at
// once, rejected. When a frame ends at its own last byte and the bytes read
// with it begin another frame (their first two pass the first two frame rules),
// they are put back for the next collection; otherwise whatever is still
// queued when the frame ends is discarded.
//
// When a reply is awaited, a frame that begins as that reply is not read in
// batches: the collector sleeps until the next length at which the reply may
// end has had time to arrive (never longer than the frame's silence budget at
// a go) and reads there, so an end is seen at most about one byte time after
// its last byte, whichever of its lengths the reply has. As soon as the line
// falls behind its speed, goes quiet, or the frame turns out not to be that
// reply or to run past its longest length, it is read in batches as any other.
FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size, AwaitedReply awaited = {});

// Pauses a frame may take in all beyond its own budget before the cap ends
// it: two default budgets, so that a few short stalls early in a reply, when
// few bytes are in, do not cut it.
inline constexpr int kPauseAllowanceMs = 2 * ReplyReceiver::kDefaultBudgetMs;

// The unit's modem lines (command lines, result lines, the escape) are short.
// A frame that is no checksummed reply counts at most this many bytes towards
// its cap: the tail of a broken reply that runs into the replies after it,
// with gaps shorter than the budget, then ends within about a third of a
// second instead of swallowing them and holding the window while they come.
inline constexpr int kLongestModemLineBytes = 64;

// The longest a frame of the given bytes may take before it ends by silence:
// twice the wire time of its bytes, its budget and the pause allowance.
double FrameCapMs(int bytes, int budgetMs);
