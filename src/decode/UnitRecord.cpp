#include "decode/UnitRecord.h"

#include "decode/UnitTypeTable.h"

#include "decode/Thermistor.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int kUnitFirst = 1;
constexpr int kUnitLast = 10;
constexpr int kChannels = 8;

int32_t ByteAt(const CheckerState& st, int index) {
    return st.ScanBytes[static_cast<std::size_t>(index)];
}

int32_t ValueAt(const CheckerState& st, int index) {
    return st.ScanValues[static_cast<std::size_t>(index)];
}

// Three record bytes from `first` on, little-endian. Computed wide and kept
// to 32 bits, so that odd byte values cannot overflow.
int32_t Count24(const CheckerState& st, int first) {
    const int64_t count = int64_t{ByteAt(st, first)} + 256 * int64_t{ByteAt(st, first + 1)} +
                          65536 * int64_t{ByteAt(st, first + 2)};
    return static_cast<int32_t>(count);
}

// Rounds to the nearest integer, halves to the even neighbour.
int32_t RoundHalfEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

// Digits of a positive finite value rounded to `digits` significant digits,
// without exponent and trailing zeros; "" before the point below 1.
QString PlainDigits(double magnitude, int digits) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, magnitude);
    const QByteArray scientific(buffer);
    const qsizetype e = scientific.indexOf('e');
    QByteArray mantissa = scientific.left(e);
    mantissa.replace(".", "");
    while (mantissa.size() > 1 && mantissa.endsWith('0')) {
        mantissa.chop(1);
    }
    const int exponent = scientific.mid(e + 1).toInt();
    QByteArray whole;
    QByteArray fraction;
    if (exponent >= 0) {
        const qsizetype wholeDigits = exponent + 1;
        whole = mantissa.left(wholeDigits);
        if (whole.size() < wholeDigits) {
            whole.append(wholeDigits - whole.size(), '0');
        }
        fraction = mantissa.mid(wholeDigits);
    } else {
        fraction = QByteArray(-exponent - 1, '0') + mantissa;
    }
    return QString::fromLatin1(fraction.isEmpty() ? whole : whole + '.' + fraction);
}

QString NumberText(double v, int digits) {
    if (!std::isfinite(v)) {
        return QString::number(v);
    }
    if (v == 0) {
        return QStringLiteral(" 0");
    }
    return (v < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + PlainDigits(std::fabs(v), digits);
}

// The channel value of the per-channel types from the record's reading or
// 24-bit count of channel k (1..8).
int32_t ChannelValue(const CheckerState& st, UnitType type, int k) {
    const int32_t raw = ValueAt(st, k - 1);
    switch (type) {
    case UnitType::Thermistor:
        return LookupTemperature(st.ThermistorTable, static_cast<int16_t>(raw));
    case UnitType::Voltage:
        return RoundHalfEven(raw * 1.25);
    case UnitType::CurrentLoop:
        return RoundHalfEven(raw / 200.0);
    case UnitType::Counter:
    case UnitType::Timer:
        return Count24(st, 3 * k - 1);
    default:
        return raw;
    }
}

template <UnitType type>
void DecodeChannels(CheckerState& st, int unit, int channels, QList<CellText>& cells) {
    auto& data = st.UnitData[static_cast<std::size_t>(unit)];
    for (int k = 1; k <= std::min(channels, kChannels); ++k) {
        const int32_t value = ChannelValue(st, type, k);
        data[static_cast<std::size_t>(k)] = value;
        cells.append({k, type == UnitType::Timer ? FormatElapsed(value) : QString::number(value)});
    }
}

void DecodeEnergyMeter(CheckerState& st, int unit, int, QList<CellText>& cells) {
    auto& data = st.UnitData[static_cast<std::size_t>(unit)];
    data[1] = Count24(st, 2);
    cells.append({1, QString::number(data[1])});
}

QString WaterMeterDigit(int32_t nibble) {
    return QString(QChar(48 + (nibble & 15)));
}

void DecodeWaterMeter(CheckerState& st, int unit, int channels, QList<CellText>& cells) {
    auto& data = st.UnitData[static_cast<std::size_t>(unit)];
    for (int j = 0; j < 4; ++j) {
        const int32_t byte = ByteAt(st, 2 + j);
        data[static_cast<std::size_t>(2 * j + 1)] = byte & 15;
        data[static_cast<std::size_t>(2 * j + 2)] = (byte >> 4) & 15;
    }
    // The status nibble marks a meter fault with 13..15, otherwise the
    // position of the decimal point.
    const int status = ByteAt(st, 6) & 15;
    if (status >= 13) {
        cells.append({1, QStringLiteral("ERR")});
        cells.append({2, QString::number(status)});
        return;
    }
    for (int k = 1; k <= channels; ++k) {
        const QString digit = WaterMeterDigit(data[static_cast<std::size_t>(k)]);
        cells.append({k, k == status + 1 ? QStringLiteral(". ") + digit : digit});
    }
}

void DecodeTemperatureHumidity(CheckerState& st, int unit, int channels, QList<CellText>& cells) {
    auto& text = st.UnitText[static_cast<std::size_t>(unit)];
    for (int j = 0; j < channels / 2; ++j) {
        const auto t = static_cast<std::size_t>(2 * j + 1);
        text[t] = THTemperatureText(ValueAt(st, 2 * j));
        text[t + 1] = THHumidityText(ValueAt(st, 2 * j + 1));
        cells.append({2 * j + 1, text[t]});
        cells.append({2 * j + 2, text[t + 1]});
    }
}

constexpr UnitTypeRow kUnitTypes[] = {
    {UnitType::Immediate, "Imd", kChannels, DecodeChannels<UnitType::Immediate>},
    {UnitType::Thermistor, "Tmp", kChannels, DecodeChannels<UnitType::Thermistor>},
    {UnitType::Voltage, "Volt", kChannels, DecodeChannels<UnitType::Voltage>},
    {UnitType::CurrentLoop, "4-20", kChannels, DecodeChannels<UnitType::CurrentLoop>},
    {UnitType::Counter, "Ctr", kChannels, DecodeChannels<UnitType::Counter>},
    {UnitType::Timer, "Timr", kChannels, DecodeChannels<UnitType::Timer>},
    {UnitType::EnergyMeter, "kWH", 1, DecodeEnergyMeter},
    {UnitType::WaterMeter, "Wmtr", kChannels, DecodeWaterMeter},
    {UnitType::TemperatureHumidity, "TH", kChannels, DecodeTemperatureHumidity},
};

} // namespace

int ChannelCount(int16_t scanBitLast) {
    switch (scanBitLast) {
    case 63:
        return 4;
    case 127:
    case 255:
        return 8;
    default:
        return 0;
    }
}

QList<CellText> DecodeUnitRecord(CheckerState& st, int unit) {
    QList<CellText> cells;
    if (unit < kUnitFirst || unit > kUnitLast) {
        return cells;
    }
    if (const UnitTypeRow* row = FindUnitType(st.UnitData[static_cast<std::size_t>(unit)][0])) {
        row->Decode(st, unit, ChannelCount(st.ScanBitLast), cells);
    }
    return cells;
}

std::span<const UnitTypeRow> UnitTypeTable() {
    return kUnitTypes;
}

const UnitTypeRow* FindUnitType(int32_t code) {
    for (const UnitTypeRow& row : kUnitTypes) {
        if (static_cast<int32_t>(row.Type) == code) {
            return &row;
        }
    }
    return nullptr;
}

QString FormatElapsed(int32_t seconds) {
    const auto part = [](int32_t v, int width) {
        return QString::number(v).rightJustified(width, QLatin1Char('0')).right(width);
    };
    const int32_t rest = seconds % 3600;
    return part(seconds / 3600, 3) + QLatin1Char(':') + part(rest / 60, 2) + QLatin1Char(':') +
           part(rest % 60, 2);
}

QString THTemperatureText(int raw) {
    if (raw == 0) {
        return {};
    }
    // The added 0.05 and the cut after one decimal round to one decimal place.
    const auto celsius = static_cast<float>(raw * 0.04 - 40 + 0.05);
    const QString s = ShortNumberText(celsius).left(8);
    const qsizetype point = s.indexOf(QLatin1Char('.'));
    if (point < 0) {
        return s;
    }
    return s.left(point) + QLatin1Char('.') + s.mid(point + 1, 1);
}

QString THHumidityText(int raw) {
    if (raw == 0) {
        return {};
    }
    const double b = raw;
    const double humidity = (-2.8 / 1000000) * b * b + (0.0405 * b - 4);
    return LongNumberText(humidity).left(5);
}

QString ShortNumberText(float v) {
    return NumberText(v, 7);
}

QString LongNumberText(double v) {
    return NumberText(v, 15);
}

const QStringList& UnitTypeCaptions() {
    static const QStringList captions = [] {
        QStringList list;
        for (const UnitTypeRow& row : kUnitTypes) {
            list.append(QString::fromLatin1(row.Caption));
        }
        return list;
    }();
    return captions;
}
