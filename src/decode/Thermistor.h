#pragma once

#include "core/CheckerState.h"

#include <QString>

#include <array>
#include <cstdint>

// Thermistor inputs are NTC resistors read through a divider of 33 kOhm on a
// 5000 mV supply; the unit reports the divider voltage in millivolts. The
// table holds, by degree Celsius, the voltage at which a reading changes to
// the next degree.

// The fourteen resistance lines (ohms, six digits each, -40 to 90 degrees).
void LoadThermistorText(std::array<QString, 14>& text);

// Converts the resistances of -40..81 degrees to divider millivolts and
// replaces every entry -40..80 by the midpoint between it and the next
// degree; entry 81 keeps its plain voltage and only bounds the last degree.
void BuildThermistorTable(const std::array<QString, 14>& text, ThermistorTableType& table);

// Whole degrees -40..80 for a reading in millivolts; 999 when the reading is
// below the 80 degree entry (too hot), -999 above the -40 degree entry (too
// cold).
int16_t LookupTemperature(const ThermistorTableType& table, int16_t reading);
