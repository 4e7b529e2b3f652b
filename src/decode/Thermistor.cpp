#include "decode/Thermistor.h"

#include "link/HexText.h"

#include <cmath>

namespace {

constexpr int kSupplyMillivolts = 5000;
constexpr int kFixedResistorOhms = 33000;
constexpr int kLinesJoined = 13; // the last line (90 degrees) is carried, not converted
constexpr int kFieldWidth = 7;   // six digits and a comma

} // namespace

void LoadThermistorText(std::array<QString, 14>& text) {
    text = {
        QStringLiteral("144200,137000,130300,123900,117900,112300,106900,101900,097090,092570,"),
        QStringLiteral("088300,084420,080350,076690,073230,069950,066840,063890,061090,058440,"),
        QStringLiteral("055920,053510,051210,049030,046960,044990,043120,041340,039650,038040,"),
        QStringLiteral("036500,035020,033620,032280,031000,029790,028620,027520,026460,025450,"),
        QStringLiteral("024490,023560,022670,021820,021010,020240,019500,018790,018110,017460,"),
        QStringLiteral("016840,016240,015660,015110,014580,014080,013590,013130,012680,012250,"),
        QStringLiteral("011840,011440,011060,010690,010340,010000,009673,009358,009056,008765,"),
        QStringLiteral("008486,008215,007954,007703,007462,007229,007005,006790,006582,006383,"),
        QStringLiteral("006190,006002,005821,005647,005479,005317,005160,005009,004864,004724,"),
        QStringLiteral("004588,004455,004327,004203,004084,003968,003857,003749,003645,003544,"),
        QStringLiteral("003447,003352,003259,003170,003084,003001,002920,002842,002767,002694,"),
        QStringLiteral("002623,002551,002481,002414,002349,002286,002225,002166,002109,002054,"),
        QStringLiteral("002000,001947,001896,001846,001798,001752,001706,001662,001619,001577"),
        QStringLiteral("001537"),
    };
}

void BuildThermistorTable(const std::array<QString, 14>& text, ThermistorTableType& table) {
    QByteArray joined;
    for (int line = 0; line < kLinesJoined; ++line) {
        joined += text[static_cast<std::size_t>(line)].toLatin1();
    }
    for (int degree = ThermistorTableType::kLow; degree <= ThermistorTableType::kHigh; ++degree) {
        const int k = degree - ThermistorTableType::kLow;
        // Six digits are at most 999999 ohms, so the product stays within 32 bits.
        const auto ohms = static_cast<int32_t>(FieldDecimal(joined, kFieldWidth * k + 1, 6));
        const int32_t product = kSupplyMillivolts * ohms;
        const double millivolts =
            static_cast<double>(product) / static_cast<double>(ohms + kFixedResistorOhms);
        table[degree] = static_cast<int16_t>(std::floor(millivolts));
    }
    // Ascending, so entry d + 1 is still unsmoothed when entry d is replaced.
    for (int degree = ThermistorTableType::kLow; degree < ThermistorTableType::kHigh; ++degree) {
        table[degree] = static_cast<int16_t>((table[degree] + table[degree + 1]) / 2);
    }
}

int16_t LookupTemperature(const ThermistorTableType& table, int16_t reading) {
    constexpr int kColdest = ThermistorTableType::kLow;
    constexpr int kHottest = ThermistorTableType::kHigh - 1;
    if (reading > table[kColdest]) {
        return -999;
    }
    if (reading < table[kHottest]) {
        return 999;
    }
    for (int degree = kColdest; degree <= kHottest; ++degree) {
        const int upper = table[degree];
        const int lower = table[degree + 1];
        const int middle = (upper + lower) / 2;
        if (middle <= reading && reading <= upper) {
            return static_cast<int16_t>(degree);
        }
        if (lower <= reading && reading < middle) {
            return static_cast<int16_t>(degree + 1);
        }
    }
    // Only a table that is not decreasing gets here.
    return 999;
}
