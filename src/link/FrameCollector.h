#pragma once

#include "link/ReplyReceiver.h"

#include <cstdint>

// Where the bytes of a frame come from: the serial control in the window, a
// fake with a scripted clock in the tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int Available() = 0;              // bytes waiting
    virtual uint8_t ReadByte() = 0;           // takes the oldest waiting byte
    virtual void WaitForBytes(int maxMs) = 0; // blocks until a byte may be waiting or maxMs passed
    virtual double ElapsedMs() = 0;           // time since the frame's collection started
    virtual void DiscardWaiting() = 0;        // drops everything still queued
};

struct FrameOutcome {
    ReplyReceiver::Result Result;
    int EndLfPos;
    int Count;
};

// Longest single wait while the line is quiet; the silence end is judged
// after each wait, to within about a millisecond.
inline constexpr int kQuietPollMs = 5;

// Collects one frame from the source into buffer (from index 0, never past
// size): reads every waiting byte, and while none waits, waits on the source.
// The frame ends by silence when the line has been quiet for the frame's
// silence budget since its last byte, or, for a line that trickles bytes, when
// the whole frame has taken longer than twice its wire time plus the budget
// (FrameCapMs). Whatever is still queued when the frame ends is discarded.
FrameOutcome CollectFrame(ByteSource& source, uint8_t* buffer, int size);

// The longest a frame of the given bytes may take before it ends by silence.
double FrameCapMs(int bytes, int budgetMs);
