#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

// Data of the line-write check patterns. Each pattern is 32 bytes, sent as 64
// upper-case hex digits, byte 0 first, two digits a byte.

// Bit k of the result is bit 7 - k of v (0x40 -> 0x02, 0x03 -> 0xC0).
int16_t ReverseByteBits(uint8_t v);

// Walking bit: bytes 2i and 2i + 1 are weights i and 7 - i (i = 0..7), then
// bytes 16 + 2j and 17 + 2j are weights 7 - j and j. The weights are the
// checker's bit weights, 2 to the power i.
QByteArray Pattern1Digits(const std::array<int16_t, 12>& bitWeights);
QByteArray Pattern1Digits(); // with the weights 1, 2, 4 ... 2048
// A fixed picture of 32 bytes, each sent with its bits reversed.
QByteArray Pattern2Digits();
QByteArray Pattern3Digits();  // every byte FF
QByteArray ClearLineDigits(); // every byte 00

// The line-write command's code and arguments: "Q:", the line digit, "00"
// and the 64 digits.
QByteArray LineWriteCommand(QByteArrayView lineDigit, QByteArrayView digits64);
