#include "link/ReplyReceiver.h"

#include "link/HexText.h"

namespace {
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr double kBaud = 9600.0;
} // namespace

double WireTimeMs(int bytes) {
    return bytes * kBitsPerByte * 1000.0 / kBaud;
}

ReplyReceiver::ReplyReceiver(uint8_t* buffer, int size) : Buffer(buffer), Size(size) {}

ReplyReceiver::Result ReplyReceiver::Finish(Result r) {
    FrameResult = r;
    return r;
}

ReplyReceiver::Result ReplyReceiver::Reject(Rejection why, int pos) {
    Reason = why;
    ReasonPos = pos;
    return Finish(Result::Rejected);
}

ReplyReceiver::Result ReplyReceiver::Feed(uint8_t b) {
    if (FrameResult != Result::Collecting) {
        return FrameResult;
    }
    // A frame longer than the buffer is no frame the checker can hold.
    if (FramePos >= Size) {
        return Reject(Rejection::TooLong, Size);
    }
    const int pos = FramePos;
    Buffer[pos] = b;
    FramePos = pos + 1;

    if (pos == 0) {
        // CR of a reply or result line, "A" of a command line, "+" of the escape.
        if (b != kCr && b != 'A' && b != '+') {
            return Reject(Rejection::FirstByte, 0);
        }
        Add(b);
    } else if (pos == 1) {
        if (b != kLf && b != 'T' && b != '+') {
            return Reject(Rejection::SecondByte, 1);
        }
        Add(b);
    } else if (pos == 3) {
        // The second letter of the reply code picks the budget of the long
        // replies. A CR here is data, not the end of a line.
        Add(b);
        BudgetMs = b == '@' ? kLongestBudgetMs : b == 'L' ? kLongBudgetMs : kDefaultBudgetMs;
    } else if (pos == EndLf) {
        Add(b);
        if (b != kLf) {
            return Reject(Rejection::NoLfAfterCr, pos - 1);
        }
        if (Buffer[2] == 'Q') {
            Csum1Pos = pos + 1;
        }
    } else if (pos == Csum1Pos) {
        Csum1Char = b;
        Csum2Pos = pos + 1;
    } else if (pos == Csum2Pos) {
        // Both checksum characters must be hex digits, in either case; a
        // damaged digit is a checksum error even if the digits before it
        // would happen to read as the sum.
        Csum2Char = b;
        const int high = HexDigitValue(Csum1Char);
        const int low = HexDigitValue(b);
        const bool right = high >= 0 && low >= 0 && high * 16 + low == RunningSum;
        return Finish(right ? Result::Accepted : Result::ChecksumError);
    } else {
        Add(b);
        if (b == kCr) {
            if (pos == 2) {
                // "A" "T" CR: the short command line, complete at once.
                EndLf = 1;
                return Finish(Result::Accepted);
            }
            EndLf = pos + 1; // a later CR moves it again
        }
    }
    return FrameResult;
}

ReplyReceiver::Result ReplyReceiver::EndByLineClosed() {
    if (FrameResult != Result::Collecting) {
        return FrameResult;
    }
    return Reject(Rejection::LineClosed, FramePos);
}

ReplyReceiver::Result ReplyReceiver::EndBySilence() {
    if (FrameResult != Result::Collecting) {
        return FrameResult;
    }
    const int n = FramePos;
    // The rules below look at the last two bytes; with fewer there is no frame.
    if (n < 2) {
        return Reject(Rejection::EndedBySilence, n);
    }
    const uint8_t first = Buffer[0];
    const uint8_t last = Buffer[n - 1];
    bool accepted = false;
    if (Buffer[n - 2] == kCr && last == kLf) {
        // A result line, or a checksummed reply cut short after its CR LF.
        accepted = true;
    } else if (last == kCr && first == 'A') {
        // A command line; the dispatcher reads up to the byte after its CR.
        accepted = true;
    } else if (last == '+' && first == '+') {
        EndLf = 2;
        accepted = true;
    }
    // The dispatcher reads indices 0..EndLfPos, which must lie in the buffer: a
    // command line that fills the buffer to its last byte is too long.
    if (!accepted) {
        return Reject(Rejection::EndedBySilence, n);
    }
    if (EndLf >= Size) {
        return Reject(Rejection::TooLong, Size);
    }
    return Finish(Result::Accepted);
}
