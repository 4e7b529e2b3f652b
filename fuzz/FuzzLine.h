#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// A fuzz input read as what a serial line carries: data bytes and the quiet
// gaps between them. 0xFF is the escape: 0xFF 0xFF is the data byte 0xFF,
// 0xFF g (g below 0xFF) a quiet gap of g * kGapStepMs before the next byte, so
// one escape covers gaps up to about two seconds, past the longest silence
// budget of a reply.

inline constexpr uint8_t kLineEscape = 0xFF;
inline constexpr int kGapStepMs = 8;

struct LineByte {
    int GapMs; // quiet time before this byte, beyond the line's own pacing
    uint8_t Byte;
};

inline std::vector<LineByte> DecodeLine(const uint8_t* data, size_t size) {
    std::vector<LineByte> out;
    int gapMs = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != kLineEscape) {
            out.push_back({gapMs, data[i]});
            gapMs = 0;
        } else if (i + 1 < size) {
            ++i;
            if (data[i] == kLineEscape) {
                out.push_back({gapMs, kLineEscape});
                gapMs = 0;
            } else {
                gapMs += data[i] * kGapStepMs;
            }
        }
    }
    return out;
}

// Writers of the same encoding, for the seed corpora.
inline void AppendLineBytes(QByteArray& out, QByteArrayView bytes) {
    for (char c : bytes) {
        out += c;
        if (static_cast<uint8_t>(c) == kLineEscape) {
            out += c;
        }
    }
}

inline void AppendLineGap(QByteArray& out, int ms) {
    while (ms > 0) {
        const int steps = std::min((ms + kGapStepMs - 1) / kGapStepMs, kLineEscape - 1);
        out += static_cast<char>(kLineEscape);
        out += static_cast<char>(steps);
        ms -= steps * kGapStepMs;
    }
}

// A broken rule of the code under test: print it and abort, so that the fuzzer
// keeps the input that led here.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
