#pragma once

#include "core/CheckerState.h"
#include "decode/UnitRecord.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <span>

// The types an input unit can be set to. The codes are those of the unit's
// M-Code and of the checker's type selectors; the simulated unit builds its
// inputs by the same codes.
enum class UnitType : uint8_t {
    Immediate = 0,          // "Imd": plain 12-bit readings
    Thermistor = 1,         // "Tmp": divider millivolts through the thermistor table
    Voltage = 2,            // "Volt": 1.25 mV a count
    CurrentLoop = 3,        // "4-20": 200 counts a milliampere
    Counter = 4,            // "Ctr": 24-bit pulse counters
    Timer = 5,              // "Timr": 24-bit second counts
    EnergyMeter = 6,        // "kWH": one 24-bit count
    WaterMeter = 7,         // "Wmtr": eight digits and a decimal point
    TemperatureHumidity = 8 // "TH": temperature and humidity pairs
};

// Decodes the current record for one unit of this type; `channels` is the
// number the scan size carries (4 or 8, or 0). Appends the cells to write in
// ascending order.
using UnitDecoder = void (*)(CheckerState& st, int unit, int channels, QList<CellText>& cells);

// One row of the type table: everything the checker knows about a type.
struct UnitTypeRow {
    UnitType Type;
    const char* Caption; // the caption of the unit's type selector
    int Channels;        // the most channel cells one record of the type fills
    UnitDecoder Decode;
};

// The table, in code order: adding a type is one row here and its decoder.
std::span<const UnitTypeRow> UnitTypeTable();

inline int UnitTypeCount() {
    return static_cast<int>(UnitTypeTable().size());
}

// The row of type code `code`, or nullptr for a code outside the table.
const UnitTypeRow* FindUnitType(int32_t code);
