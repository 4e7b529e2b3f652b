// Unit record decoding, every unit type, and the thermistor lookup.
//
// Input: byte 0 the unit (0..11, so that units outside 1..10 are met), byte 1
// its type code as a signed byte modulo 12 (-11..11: the nine types and codes
// no selector writes), bytes 2-3 ScanBitLast (little endian, any 16-bit value),
// then the 32 record bytes. The eight 12-bit values are taken from the record
// bytes the way a scan reply's data field carries both; missing bytes are 0.
// Two more bytes, when present, are a thermistor reading for the lookup.
#include "FuzzLine.h"

#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"
#include "decode/UnitTypeTable.h"

#include <QRegularExpression>

#include <memory>

namespace {

CheckerState& State() {
    static const auto st = [] {
        auto s = std::make_unique<CheckerState>();
        LoadThermistorText(s->ThermistorText);
        BuildThermistorTable(s->ThermistorText, s->ThermistorTable);
        return s;
    }();
    return *st;
}

// Data character j (1-based) of a record's data field: the low digit of byte
// (j - 1) / 2 for odd j, the high digit for even j.
int DataNibble(const std::array<int32_t, 32>& bytes, int j) {
    const int32_t byte = bytes[static_cast<size_t>((j - 1) / 2)];
    return j % 2 == 1 ? byte & 15 : (byte >> 4) & 15;
}

// Temperatures ordered from cold to hot, the marks of readings off the table
// at the ends.
int Warmth(int16_t degrees) {
    return degrees == 999 ? 1000 : degrees == -999 ? -1000 : degrees;
}

bool IsDecimalText(const QString& text, int32_t value) {
    return text == QString::number(value);
}

void CheckCells(const CheckerState& st, int unit, UnitType type, const QList<CellText>& cells) {
    const auto& data = st.UnitData[static_cast<size_t>(unit)];
    const auto& text = st.UnitText[static_cast<size_t>(unit)];
    const int n = st.ScanBitLast == 63 ? 4 : st.ScanBitLast == 127 || st.ScanBitLast == 255 ? 8 : 0;
    for (int i = 0; i < cells.size(); ++i) {
        FUZZ_CHECK(cells[i].Cell >= 1 && cells[i].Cell <= 8);
        FUZZ_CHECK(i == 0 || cells[i].Cell > cells[i - 1].Cell);
    }
    const int status = st.ScanBytes[6] & 15;
    if (type == UnitType::EnergyMeter) {
        FUZZ_CHECK(cells.size() == 1 && cells[0].Cell == 1);
    } else if (type == UnitType::WaterMeter && status >= 13) {
        FUZZ_CHECK(cells.size() == 2 && cells[0].Text == QStringLiteral("ERR") &&
                   cells[1].Text == QString::number(status));
    } else {
        FUZZ_CHECK(cells.size() == n);
    }
    static const QRegularExpression elapsed(QStringLiteral("^\\d{3}:\\d{2}:\\d{2}$"));
    static const QRegularExpression temperature(QStringLiteral("^$|^[ -]\\d*\\.\\d$"));
    static const QRegularExpression humidity(QStringLiteral("^$|^[ -][\\d.]{1,4}$"));
    for (const CellText& cell : cells) {
        const int32_t v = data[static_cast<size_t>(cell.Cell)];
        switch (type) {
        case UnitType::Immediate:
            FUZZ_CHECK(v >= 0 && v <= 4095 && IsDecimalText(cell.Text, v));
            break;
        case UnitType::Thermistor:
            FUZZ_CHECK(((v >= -40 && v <= 80) || v == 999 || v == -999) &&
                       IsDecimalText(cell.Text, v));
            break;
        case UnitType::Voltage:
            FUZZ_CHECK(v >= 0 && v <= 5119 && IsDecimalText(cell.Text, v));
            break;
        case UnitType::CurrentLoop:
            FUZZ_CHECK(v >= 0 && v <= 20 && IsDecimalText(cell.Text, v));
            break;
        case UnitType::Counter:
        case UnitType::EnergyMeter:
            FUZZ_CHECK(v >= 0 && v <= 0xFFFFFF && IsDecimalText(cell.Text, v));
            break;
        case UnitType::Timer:
            FUZZ_CHECK(v >= 0 && v <= 0xFFFFFF && elapsed.match(cell.Text).hasMatch());
            break;
        case UnitType::WaterMeter:
            FUZZ_CHECK(status >= 13 ||
                       cell.Text == (cell.Cell == status + 1 ? QStringLiteral(". ") : QString()) +
                                        QChar(48 + v));
            break;
        case UnitType::TemperatureHumidity:
            FUZZ_CHECK(cell.Text == text[static_cast<size_t>(cell.Cell)]);
            FUZZ_CHECK((cell.Cell % 2 == 1 ? temperature : humidity).match(cell.Text).hasMatch());
            break;
        default:
            FUZZ_CHECK(false);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    CheckerState& st = State();
    const int unit = data[0] % 12;
    const int type = static_cast<int8_t>(data[1]) % 12;
    st.ScanBitLast = static_cast<int16_t>(data[2] | (data[3] << 8));
    for (size_t c = 0; c < 32; ++c) {
        st.ScanBytes[c] = 4 + c < size ? data[4 + c] : 0;
    }
    for (int d = 0; d < 8; ++d) {
        st.ScanValues[static_cast<size_t>(d)] = static_cast<int16_t>(
            DataNibble(st.ScanBytes, 3 * d + 7) << 8 | DataNibble(st.ScanBytes, 3 * d + 6) << 4 |
            DataNibble(st.ScanBytes, 3 * d + 5));
    }
    // Every unit gets a type and old values, so that a decode that strays
    // from its own row shows.
    for (size_t u = 0; u < st.UnitData.size(); ++u) {
        st.UnitData[u].fill(-7);
        st.UnitData[u][0] = static_cast<int32_t>(u) == unit ? type : 0;
        st.UnitText[u].fill(QStringLiteral("old"));
    }
    const auto dataBefore = st.UnitData;
    const auto textBefore = st.UnitText;

    const QList<CellText> cells = DecodeUnitRecord(st, unit);

    const bool decodes = unit >= 1 && unit <= 10 && FindUnitType(type) != nullptr;
    for (size_t u = 0; u < st.UnitData.size(); ++u) {
        if (decodes && static_cast<int>(u) == unit) {
            FUZZ_CHECK(st.UnitData[u][0] == type);
            FUZZ_CHECK(st.UnitData[u][9] == -7 && st.UnitData[u][10] == -7);
            FUZZ_CHECK(st.UnitText[u][0] == textBefore[u][0]);
        } else {
            FUZZ_CHECK(st.UnitData[u] == dataBefore[u] && st.UnitText[u] == textBefore[u]);
        }
    }
    if (!decodes) {
        FUZZ_CHECK(cells.isEmpty());
    } else {
        CheckCells(st, unit, static_cast<UnitType>(type), cells);
    }

    if (size >= 38) {
        // A warmer divider reading never reads colder: the NTC's voltage falls
        // as it warms.
        const auto reading = static_cast<int16_t>(data[36] | (data[37] << 8));
        const int16_t degrees = LookupTemperature(st.ThermistorTable, reading);
        FUZZ_CHECK((degrees >= -40 && degrees <= 80) || degrees == 999 || degrees == -999);
        if (reading < INT16_MAX) {
            const auto next = static_cast<int16_t>(reading + 1);
            FUZZ_CHECK(Warmth(LookupTemperature(st.ThermistorTable, next)) <= Warmth(degrees));
        }
    }
    return 0;
}
