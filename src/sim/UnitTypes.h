#pragma once

#include "decode/UnitTypeTable.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

// Shared vocabulary of the simulated ZEL-03 unit.

// The three ROM families a ZEL-03 board runs. LUP and RAV expect a Hayes modem
// on their serial line; ZEL talks to the checker directly.
enum class UnitFamily { Lup, Rav, Zel };

// "LUP", "RAV" or "ZEL".
QString UnitFamilyName(UnitFamily family);
// Accepts the three names in any letter case; false for anything else.
bool ParseUnitFamily(QStringView text, UnitFamily* family);
// The ROM name of the family: "LUPTAB13", "RAV-B13" or "ZEL10-13".
QByteArray UnitRomName(UnitFamily family);

// The monitor line sizes the unit can be built for.
bool IsValidScanBits(int bits); // 32, 64, 128 or 256

inline constexpr int kInputUnits = 10;

// Wire time of a 9600 baud byte with start and stop bit.
inline constexpr int kPacedByteTimeUs = 1042;

// Faults a simulated unit can be built with, to prove the automatic check.
struct UnitFaults {
    int StuckCell = -1;         // a monitor cell 0..255 whose bit always reads StuckValue; -1 none
    int StuckValue = 1;         // 0 or 1
    int StuckLine = -1;         // the line 0..3 whose cell is stuck; -1 all four
    bool NoCounter = false;     // the unit has no 24-bit counter
    int BadChecksumPercent = 0; // share of checksummed replies sent with a wrong checksum
    // Reply codes ("QV", "QB", "Qf" ...) whose first reply since power-on goes
    // out with a wrong checksum, and those whose first reply loses the LF after
    // its closing CR.
    QByteArrayList SpoilFirst;
    QByteArrayList DropLfFirst;
    // The command code ("QG", "Q:" ...) whose first arrival restarts the unit
    // instead of being answered, as a unit with a weak supply browns out:
    // memory, counter and record scan start afresh, and the LUP and RAV
    // families run their modem set-up again. Empty: no restart.
    QByteArray RestartOn;
};
// Reads one fault as given on a command line: "stuck-bit=N" (N 0..255, reads 1),
// "stuck-bit=N:0" or "stuck-bit=N:1", each optionally followed by "@L" (L 1..4,
// Line1..Line4: only that line's cell is stuck), "no-counter", "bad-checksum=P"
// (P 0..100, percent), "spoil-first=CODE" and "drop-lf-first=CODE" (CODE a reply
// code: "Q" and one more character, letter case as sent). Adds it to *faults;
// false with a message in *error for anything else. A unit has one stuck cell:
// a second stuck-bit naming another cell, value or line is refused rather than
// silently replacing the first. The reply-code faults add up, one code at a time.
bool ParseUnitFault(QStringView text, UnitFaults* faults, QString* error);

struct UnitConfig {
    UnitFamily Family = UnitFamily::Zel;
    int ScanBits = 256; // bits of a line that "QB" and "QA" report
    // Wire time of one byte in microseconds (10 bits at 9600 baud), or 0 when
    // the transport delivers frames without pacing.
    int ByteTimeUs = kPacedByteTimeUs;
    // Input unit types, a1..a10: one of each type, and a second counter.
    std::array<UnitType, kInputUnits> Inputs = {
        UnitType::Immediate,   UnitType::Thermistor, UnitType::Voltage,
        UnitType::CurrentLoop, UnitType::Counter,    UnitType::Timer,
        UnitType::EnergyMeter, UnitType::WaterMeter, UnitType::TemperatureHumidity,
        UnitType::Counter};
    // None by default: the unit works as it should.
    UnitFaults Faults;
};
