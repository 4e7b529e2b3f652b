#include "sim/UnitRecords.h"

int Drift(qint64 ms, qint64 periodMs, int low, int high) {
    const qint64 half = periodMs / 2;
    qint64 phase = ms % periodMs;
    if (phase < 0) {
        phase += periodMs;
    }
    const qint64 up = phase < half ? phase : periodMs - phase; // 0..half
    return low + static_cast<int>((high - low) * up / half);
}

void PutReadings(UnitRecord* record, const std::array<int, 8>& readings) {
    // 96 bits from bit 16 of the record, least significant bits first.
    for (int k = 0; k < 8; ++k) {
        const uint32_t value = static_cast<uint32_t>(readings[k]) & 0xFFF;
        for (int bit = 0; bit < 12; ++bit) {
            const int at = 16 + 12 * k + bit;
            const uint8_t mask = static_cast<uint8_t>(1u << (at % 8));
            if (value & (1u << bit)) {
                (*record)[at / 8] |= mask;
            } else {
                (*record)[at / 8] &= static_cast<uint8_t>(~mask);
            }
        }
    }
}

void PutCount24(UnitRecord* record, int first, uint32_t value) {
    (*record)[first] = static_cast<uint8_t>(value);
    (*record)[first + 1] = static_cast<uint8_t>(value >> 8);
    (*record)[first + 2] = static_cast<uint8_t>(value >> 16);
}

void SealRecord(UnitRecord* record) {
    int sum = 0;
    for (int i = 1; i <= 13; ++i) {
        sum += (*record)[i];
    }
    (*record)[kRecordChecksumByte] = static_cast<uint8_t>(sum & 0xFF);
}

std::array<int, 4> BoardThermistorReadings(qint64 ms) {
    std::array<int, 4> readings{};
    for (int i = 0; i < 4; ++i) {
        readings[i] = Drift(ms + 13000 * i, 180000, 1120 + 15 * i, 1190 + 15 * i);
    }
    return readings;
}

namespace {

std::array<int, 8> Readings(UnitType kind, qint64 t) {
    std::array<int, 8> r{};
    for (int k = 0; k < 8; ++k) {
        switch (kind) {
        case UnitType::Immediate:
            r[k] = 500 * k + Drift(t + 7000 * k, 40000, 0, 300);
            break;
        case UnitType::Thermistor:
            // About 22..27 degrees Celsius on a 33 kOhm divider from 5 V.
            r[k] = Drift(t + 5000 * k, 120000, 1090 + 10 * k, 1210 + 10 * k);
            break;
        case UnitType::Voltage:
            // 500 mV steps, 1.25 mV a count, with a little ripple.
            r[k] = Drift(t + 4000 * k, 30000, 400 * (k + 1) - 20, 400 * (k + 1) + 20);
            break;
        case UnitType::CurrentLoop:
            // 4, 6, ... 18 mA at 200 counts a milliampere, +-0.5 mA.
            r[k] = Drift(t + 6000 * k, 50000, 200 * (4 + 2 * k) - 100, 200 * (4 + 2 * k) + 100);
            break;
        case UnitType::TemperatureHumidity:
            if (k % 2 == 0) {
                // 23..29 degrees at 0.04 degrees a count from -40.
                r[k] = Drift(t + 9000 * k, 90000, 1575 + 10 * k, 1675 + 10 * k);
            } else {
                // About 45..55 % relative humidity.
                r[k] = Drift(t + 11000 * k, 150000, 1370, 1620);
            }
            break;
        default:
            break;
        }
    }
    return r;
}

} // namespace

UnitRecord BuildUnitRecord(int unit, UnitType kind, bool sampled, qint64 sampleMs) {
    UnitRecord record{};
    record[0] = static_cast<uint8_t>(unit);
    record[1] = static_cast<uint8_t>(unit);
    const qint64 t = sampleMs;
    const uint32_t seconds = static_cast<uint32_t>(t / 1000);
    if (sampled) {
        switch (kind) {
        case UnitType::Counter: {
            static constexpr uint32_t kPerSecond[4] = {1, 5, 20, 100};
            for (int k = 0; k < 4; ++k) {
                const uint32_t count = static_cast<uint32_t>(t * kPerSecond[k] / 1000);
                PutCount24(&record, 2 + 3 * k, (count + 1000u * unit) & 0xFFFFFF);
            }
            break;
        }
        case UnitType::Timer:
            PutCount24(&record, 2, seconds);            // running since power-on
            PutCount24(&record, 5, 5 * 3600 + seconds); // an hour meter
            PutCount24(&record, 8, 3723);               // a stopped timer
            break;
        case UnitType::EnergyMeter:
            PutCount24(&record, 2, 123456 + seconds / 6);
            break;
        case UnitType::WaterMeter: {
            // Eight digits, the first in the low nibble of byte 2; the point
            // stands before the sixth digit (status nibble 5): 00123.456 m3.
            uint32_t litres = 123456 + seconds / 2;
            uint8_t digits[8] = {};
            for (int d = 7; d >= 0; --d) {
                digits[d] = static_cast<uint8_t>(litres % 10);
                litres /= 10;
            }
            for (int j = 0; j < 4; ++j) {
                record[2 + j] = static_cast<uint8_t>(digits[2 * j] | (digits[2 * j + 1] << 4));
            }
            record[6] = 5;
            break;
        }
        default:
            PutReadings(&record, Readings(kind, t + 2500 * unit));
            break;
        }
    }
    SealRecord(&record);
    record[kRecordMCodeByte] =
        static_cast<uint8_t>((static_cast<int>(kind) & 0x1F) << 2 | (sampled ? 1 : 0));
    return record;
}
