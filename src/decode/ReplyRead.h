#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <span>

// Readers of the unit's short replies. Each takes the frame text as the
// receiver hands it on (CR LF, code, fields, CR LF; no checksum), reads its
// fields by 1-based position and draws nothing. A field that runs past the
// end of the text is cut short; a hex field stops at its first non-digit.

// Data sizes of a bit scan the checker takes into the grid: a "QD" scan has
// one character per cell after its code, a "QB" scan 8 to 64 hex digits after
// its code and line digit. A scan of another size is refused.
inline constexpr std::array<int, 4> kScanCellCounts{32, 64, 128, 256};
inline constexpr std::array<int, 4> kScanDigitCounts{8, 16, 32, 64};

bool IsAcceptedSize(std::span<const int> sizes, qsizetype count);

// "QV": the ROM name (8 characters from 6) and the ROM date (8 characters
// from 24; from 23 when the name starts "RA", whose name is a character
// shorter).
struct RomVersion {
    QByteArray Name;
    QByteArray Date;
};
RomVersion ReadVersionReply(QByteArrayView s);

// "QG": the 24-bit counter as three hex bytes from 5, high byte first.
int32_t ReadCounterReply(QByteArrayView s);

// "Qz": one sensor channel. The channel is the decimal digit at 5 (a
// non-digit reads 0); the reading four hex digits from 6 as a signed 16-bit
// value; the flag the character at 10; the level two hex digits from 11; the
// state one hex digit at 13.
struct SensorChannel {
    int Channel = 0;
    int16_t Reading = 0;
    QByteArray Flag;
    uint32_t Level = 0;
    uint32_t State = 0;
};
SensorChannel ReadSensorChannelReply(QByteArrayView s);

// "Qy": four thermistor readings of four hex digits each from 5, signed
// 16-bit, then the output and input port characters at 21 and 22.
struct SensorReadings {
    std::array<int16_t, 4> Readings{};
    QByteArray OutPort;
    QByteArray InPort;
};
SensorReadings ReadSensorReply(QByteArrayView s);

// "Qw": the output and input port characters at 5 and 6.
struct PortStates {
    QByteArray OutPort;
    QByteArray InPort;
};
PortStates ReadPortsReply(QByteArrayView s);
