#pragma once

#include <cstdint>

// Reception of one reply frame from the unit, byte by byte.
//
// The unit answers with checksummed replies (CR LF "Q" code text CR LF and two
// hex checksum digits) and, while it believes it talks to a modem, with Hayes
// command lines ("AT..." CR), result lines (CR LF ... CR LF) and the escape
// "+++". A checksummed reply and the short line "A" "T" CR end the moment their
// last byte arrives; every other kind ends only when the line has been quiet
// for longer than the frame's silence budget, and EndBySilence() then decides
// what was received.
//
// The receiver writes the frame into the caller's buffer from index 0 and never
// past its end: a frame that does not fit is rejected. It does no I/O and keeps
// no clock; the caller measures quiet time (see CollectFrame).
class ReplyReceiver {
public:
    enum class Result { Collecting, Accepted, ChecksumError, Rejected };
    // Why a frame was rejected; RejectPos() says where.
    enum class Rejection {
        None,
        FirstByte,      // the byte at 0 is not CR, "A" or "+"
        SecondByte,     // the byte at 1 is not LF, "T" or "+"
        NoLfAfterCr,    // the CR at RejectPos() is not followed by LF
        TooLong,        // the frame does not fit the buffer of RejectPos() bytes
        EndedBySilence, // the line went quiet after RejectPos() bytes of no whole frame
        LineClosed,     // the port closed after RejectPos() bytes, before the frame ended
    };

    static constexpr int kDefaultBudgetMs = 60;
    static constexpr int kLongBudgetMs = 600;     // 4th byte "L"
    static constexpr int kLongestBudgetMs = 1300; // 4th byte "@"

    ReplyReceiver(uint8_t* buffer, int size);

    // Stores b at the current position and applies the frame rules to it. Once
    // the frame has ended (any result but Collecting) further bytes are ignored
    // and the final result is returned again.
    Result Feed(uint8_t b);
    // The line went quiet for longer than the budget: decides by the bytes
    // received so far. Fewer than two bytes is always a rejection.
    Result EndBySilence();
    // The port closed before the frame ended: whatever came is rejected.
    Result EndByLineClosed();

    // Quiet time after its last byte that ends the frame, chosen by its 4th byte.
    int SilenceBudgetMs() const { return BudgetMs; }
    // Index of the LF that closes the frame text, the length handed to the
    // dispatcher (it reads indices 0..EndLfPos); below 1 means nothing to hand on.
    int EndLfPos() const { return EndLf; }
    // Bytes stored in the buffer so far.
    int Count() const { return FramePos; }
    Rejection RejectReason() const { return Reason; }
    int RejectPos() const { return ReasonPos; }
    // The two checksum characters received and the sum computed over the
    // bytes before them, once the frame has ended at its checksum.
    uint8_t ReceivedSumHigh() const { return Csum1Char; }
    uint8_t ReceivedSumLow() const { return Csum2Char; }
    uint8_t ComputedSum() const { return RunningSum; }
    // The frame may still be a checksummed reply: fewer than three bytes in,
    // or CR, LF and "Q" at its start. Anything else is a modem line (or the
    // tail of a broken reply, which looks like one).
    bool MayBeReply() const { return FramePos < 3 || (Buffer[0] == 0x0D && Buffer[2] == 'Q'); }
    // The frame may end within the next few bytes: in its first three bytes
    // (the short command line "A" "T" CR), or after the CR that closes its
    // text, while its LF and, for a checksummed reply, the two checksum
    // characters are still to come.
    bool EndIsNear() const {
        if (FramePos < 3) {
            return true;
        }
        if (EndLf < 0) {
            return false;
        }
        const int lastToCome = Buffer[2] == 'Q' ? EndLf + 2 : EndLf;
        return FramePos >= EndLf && FramePos <= lastToCome;
    }

private:
    Result Finish(Result r);
    Result Reject(Rejection why, int pos);
    void Add(uint8_t b) { RunningSum = static_cast<uint8_t>(RunningSum + b); }

    uint8_t* Buffer;
    int Size;
    int FramePos = 0;
    uint8_t RunningSum = 0;
    int BudgetMs = kDefaultBudgetMs;
    int EndLf = -1;
    int Csum1Pos = -1;
    int Csum2Pos = -1;
    uint8_t Csum1Char = 0;
    uint8_t Csum2Char = 0;
    Rejection Reason = Rejection::None;
    int ReasonPos = -1;
    Result FrameResult = Result::Collecting;
};

// Time the given number of bytes take on the line at 9600 baud, 10 bits a byte.
double WireTimeMs(int bytes);
