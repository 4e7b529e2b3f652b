#pragma once

#include "sim/UnitTypes.h"

#include <QtGlobal>

#include <array>
#include <cstdint>

// The 32-byte records of the ten input units that the record scan returns.
//
//   byte 0, 1   unit number (both the same)
//   bytes 2..13 channel data: eight 12-bit readings packed least significant
//               bits first (reading k in bits 16 + 12k of the record), or for
//               counters, timers and energy 24-bit little-endian counts from
//               byte 2, or the water meter's eight digits and point position
//   byte 14     record checksum: low byte of the sum of bytes 1..13
//   byte 31     M-Code: the input type code in bits 2..6, bit 0 set once the
//               record holds a sample
//
// Counter units carry four counters (bytes 2..13); a fifth would overlap the
// record checksum in byte 14.
using UnitRecord = std::array<uint8_t, 32>;

inline constexpr int kRecordChecksumByte = 14;
inline constexpr int kRecordMCodeByte = 31;

// Record of unit `unit` (its number goes into bytes 0 and 1 as given) of the
// given type. With `sampled` false the record carries no data, only the unit
// number, the checksum and the M-Code. `sampleMs` is the unit's clock at the
// moment of sampling, in ms since power-on; the data drift slowly with it.
UnitRecord BuildUnitRecord(int unit, UnitType kind, bool sampled, qint64 sampleMs);

// The eight 12-bit readings as the data of bytes 2..13.
void PutReadings(UnitRecord* record, const std::array<int, 8>& readings);
// 24-bit little-endian count at byte `first`.
void PutCount24(UnitRecord* record, int first, uint32_t value);
// Writes the record checksum into byte 14 from bytes 1..13.
void SealRecord(UnitRecord* record);

// A slow triangle between low and high with the given period, for drifting
// readings.
int Drift(qint64 ms, qint64 periodMs, int low, int high);

// The four thermistor divider readings (millivolts) the sensor reply reports.
std::array<int, 4> BoardThermistorReadings(qint64 ms);
