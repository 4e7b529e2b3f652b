#include "checks/Patterns.h"

#include "link/HexText.h"

namespace {

constexpr int kPatternBytes = 32;

// The picture that Pattern2 writes, before its bits are reversed.
constexpr std::array<uint8_t, kPatternBytes> kPattern2Source = {
    0x40, 0x88, 0x27, 0xFF, 0x10, 0x88, 0x00, 0x00, 0x43, 0xFE, 0x22, 0x22, 0x12, 0x22, 0x03, 0xFE,
    0x00, 0x20, 0x0B, 0xFE, 0x08, 0x20, 0x17, 0xFF, 0x10, 0x20, 0x20, 0x50, 0x21, 0x8C, 0x46, 0x03};

QByteArray Digits(const std::array<int, kPatternBytes>& bytes) {
    QByteArray digits;
    digits.reserve(2 * kPatternBytes);
    for (int b : bytes) {
        digits += Hex2(b).toLatin1();
    }
    return digits;
}

} // namespace

int16_t ReverseByteBits(uint8_t v) {
    int result = 0;
    int rest = v;
    for (int i = 0; i < 8; ++i) {
        // The top bit of what is left enters at the top and moves down one
        // place with every later bit, so the first bit taken ends in bit 0.
        result = (result >> 1) | (rest & 0x80);
        rest = (rest << 1) & 0xFF;
    }
    return static_cast<int16_t>(result);
}

QByteArray Pattern1Digits(const std::array<int16_t, 12>& bitWeights) {
    std::array<int, kPatternBytes> bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = bitWeights[i];
        bytes[2 * i + 1] = bitWeights[7 - i];
        bytes[16 + 2 * i] = bitWeights[7 - i];
        bytes[17 + 2 * i] = bitWeights[i];
    }
    return Digits(bytes);
}

QByteArray Pattern1Digits() {
    std::array<int16_t, 12> weights{};
    for (int i = 0; i < 12; ++i) {
        weights[i] = static_cast<int16_t>(1 << i);
    }
    return Pattern1Digits(weights);
}

QByteArray Pattern2Digits() {
    std::array<int, kPatternBytes> bytes{};
    for (int k = 0; k < kPatternBytes; ++k) {
        bytes[k] = ReverseByteBits(kPattern2Source[k]);
    }
    return Digits(bytes);
}

QByteArray Pattern3Digits() {
    return QByteArray(2 * kPatternBytes, 'F');
}

QByteArray ClearLineDigits() {
    return QByteArray(2 * kPatternBytes, '0');
}

QByteArray LineWriteCommand(QByteArrayView lineDigit, QByteArrayView digits64) {
    QByteArray command("Q:");
    command += lineDigit;
    command += "00";
    command += digits64;
    return command;
}
