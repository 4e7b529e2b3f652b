// The scan reply parsers fed reply texts.
//
// Byte 0 picks the parser (0 "QD", 1 "QB", 2 "Qf", modulo 3); bytes 1-2 are
// the scan size the dispatcher set before the call, little endian (ScanBitLast
// for "QD", ScanDigitLast for "QB"), any 16-bit value; the rest is the frame
// text, 1-based positions as the dispatcher hands it on ("QD" reads it from the
// receive buffer instead).
#include "FuzzLine.h"

#include "decode/ScanParse.h"

#include <cstring>
#include <memory>

namespace {

// Values no parser writes, so that untouched entries can be told apart.
constexpr int16_t kUntouchedBit = 2;
constexpr int32_t kUntouchedByte = -1;
constexpr int16_t kUntouchedValue = -1;
constexpr int16_t kUntouchedLine = 9;

void Prefill(CheckerState& st) {
    st.ScanBits.fill(kUntouchedBit);
    st.ScanBytes.fill(kUntouchedByte);
    st.ScanValues.fill(kUntouchedValue);
    st.ScanLine = kUntouchedLine;
}

bool IsUntouched(const CheckerState& st) {
    for (int16_t b : st.ScanBits) {
        if (b != kUntouchedBit) {
            return false;
        }
    }
    for (int32_t v : st.ScanBytes) {
        if (v != kUntouchedByte) {
            return false;
        }
    }
    for (int16_t v : st.ScanValues) {
        if (v != kUntouchedValue) {
            return false;
        }
    }
    return st.ScanLine == kUntouchedLine;
}

// "QB"/"Qf" reply of line `line` that wrote bytes 0..byteLast: only those bytes
// and their bits changed, each bit agrees with its byte, all eight values are
// 12-bit.
void CheckRecord(const CheckerState& st, int line, int byteLast) {
    FUZZ_CHECK(st.ScanLine == line);
    for (int c = 0; c < 32; ++c) {
        const int32_t v = st.ScanBytes[static_cast<size_t>(c)];
        if (c > byteLast) {
            FUZZ_CHECK(v == kUntouchedByte);
        } else {
            FUZZ_CHECK(v >= 0 && v <= 255);
        }
    }
    for (int i = 0; i < 1024; ++i) {
        const int c = (i % 256) / 8;
        const int16_t bit = st.ScanBits[static_cast<size_t>(i)];
        if (i / 256 == line && c <= byteLast) {
            FUZZ_CHECK(bit == ((st.ScanBytes[static_cast<size_t>(c)] >> (i % 8)) & 1));
        } else {
            FUZZ_CHECK(bit == kUntouchedBit);
        }
    }
    for (int16_t v : st.ScanValues) {
        FUZZ_CHECK(v >= 0 && v <= 4095);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    static const auto st = std::make_unique<CheckerState>();
    const int parser = data[0] % 3;
    const auto scanSize = static_cast<int16_t>(data[1] | (data[2] << 8));
    const QByteArrayView s(reinterpret_cast<const char*>(data + 3),
                           static_cast<qsizetype>(size - 3));
    Prefill(*st);
    // The line digit at position 5 names a line 0..3; a non-digit or a missing
    // one reads 0, and 4..9 name no line.
    const char digit = s.size() >= 5 ? s[4] : '\0';
    const bool namesNoLine = digit >= '4' && digit <= '9';
    const int line = digit >= '0' && digit <= '3' ? digit - '0' : 0;

    if (parser == 0) {
        st->ReceiveBuffer.fill(0);
        std::memcpy(st->ReceiveBuffer.data(), s.data(),
                    std::min<size_t>(static_cast<size_t>(s.size()), st->ReceiveBuffer.size()));
        st->ScanBitLast = scanSize;
        ParseScanQD(*st);
        // Cells 0..ScanBitLast (at most the 256 of a line) of all four lines.
        const int last = std::min<int>(scanSize, 255);
        for (int i = 0; i < 1024; ++i) {
            const int16_t bit = st->ScanBits[static_cast<size_t>(i)];
            if (i % 256 <= last) {
                FUZZ_CHECK(bit == 0 || bit == 1);
            } else {
                FUZZ_CHECK(bit == kUntouchedBit);
            }
        }
        FUZZ_CHECK(st->ScanLine == kUntouchedLine);
        FUZZ_CHECK(st->ScanBytes[0] == kUntouchedByte && st->ScanValues[0] == kUntouchedValue);
    } else if (parser == 1) {
        st->ScanDigitLast = scanSize;
        const bool taken = ParseScanQB(*st, s);
        FUZZ_CHECK(taken == !namesNoLine);
        if (!taken) {
            FUZZ_CHECK(IsUntouched(*st));
        } else {
            // Whole bytes of the data field, at most the 32 of a record.
            const int digitLast = std::clamp<int>(scanSize, -1, 63);
            CheckRecord(*st, line, digitLast < 0 ? -1 : digitLast / 2);
        }
    } else {
        const bool taken = ParseScanQf(*st, s);
        FUZZ_CHECK(taken == !namesNoLine);
        if (!taken) {
            FUZZ_CHECK(IsUntouched(*st));
        } else {
            CheckRecord(*st, line, 31);
        }
    }
    return 0;
}
