#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Everything the checker remembers from one event to the next, with the width
// and start value of each variable. One instance belongs to Form1 and lives as
// long as the window; nothing of it is saved between runs.

// A table indexed from a lower bound other than zero (the thermistor table
// runs from -40 to 81 degrees Celsius).
template <typename T, int Low, int High> struct OffsetArray {
    std::array<T, static_cast<std::size_t>(High - Low + 1)> Items{};
    T& operator[](int i) { return Items.at(static_cast<std::size_t>(i - Low)); }
    const T& operator[](int i) const { return Items.at(static_cast<std::size_t>(i - Low)); }
    static constexpr int kLow = Low;
    static constexpr int kHigh = High;
};

using ThermistorTableType = OffsetArray<int16_t, -40, 81>;

struct CheckerState {
    // Link and framing
    static constexpr int kReceiveBufferSize = 12801;
    std::array<uint8_t, kReceiveBufferSize> ReceiveBuffer{};
    int16_t ByteCount = 0;

    // Unit connection and polling
    int16_t Connected = 0;
    int16_t VersionReplied = 0;
    int16_t ConnectWaiting = 0;
    int16_t ConnectTicks = 0;
    QString RomFamily;
    int16_t WaitDone = 0;
    int16_t SamplePeriod = 400;
    int16_t ReadCommandMode = 0;
    QString ScanMode = QStringLiteral("D");
    int16_t RecordIndex = 1;
    int16_t ScanMax = 5;
    int16_t PeriodStep = 0;
    int16_t SampleToggle = 0;
    int16_t QuitAsked = 0;

    // Replies and decoded data
    int32_t CounterValue = 0;
    std::array<int16_t, 5> ThermistorReadings{};
    std::array<int16_t, 1024> ScanBits{};
    std::array<int32_t, 32> ScanBytes{};
    std::array<int16_t, 8> ScanValues{};
    int16_t ScanLine = 0;
    int16_t ScanBitLast = 255;
    int16_t ScanDigitLast = 0;
    std::array<int16_t, 1024> ShownBits{};
    int16_t PaintedBitLast = 255;
    // UnitData(unit 0..10, column 0..10): column 0 the unit's type code,
    // columns 1..8 the decoded channel values.
    std::array<std::array<int32_t, 11>, 11> UnitData{};
    std::array<std::array<QString, 11>, 11> UnitText{};
    std::array<QString, 14> ThermistorText{};
    ThermistorTableType ThermistorTable{};
    std::array<int16_t, 12> BitWeights{};
};
