#pragma once

#include "core/CheckerState.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// Decoding of one input unit's record by the unit's type, into UnitData /
// UnitText and the texts of the unit's channel cells.

// One channel cell to write: index 1..8 of the unit's row array, and its text.
struct CellText {
    int Cell;
    QString Text;
};

// Channels carried by a record of the current scan size: 4 for 63, 8 for 127
// and 255, none otherwise.
int ChannelCount(int16_t scanBitLast);

// Decodes the current record (ScanValues, ScanBytes, ScanBitLast) for unit
// 1..10 by its type code UnitData[unit][0]; stores the channel values into
// UnitData[unit][1..8] (types 0..7) or the texts into UnitText[unit][1..8]
// (type 8) and returns the cells to write in ascending order. Cells not
// returned keep their captions. Any other unit or type changes nothing.
QList<CellText> DecodeUnitRecord(CheckerState& st, int unit);

// Seconds as hours:minutes:seconds, "hhh:mm:ss"; hours beyond 999 keep only
// their last three digits.
QString FormatElapsed(int32_t seconds);

// Temperature and humidity texts of a "TH" unit from its raw 12-bit values;
// a raw value of 0 gives an empty text.
QString THTemperatureText(int raw);
QString THHumidityText(int raw);

// Short (7 significant digits) and long (15) number texts: no exponent, no
// trailing zeros, no "0" before the point below 1, a leading blank for values
// of 0 and above and "-" for negative ones.
QString ShortNumberText(float v);
QString LongNumberText(double v);

// Captions of type codes 0..8: "Imd", "Tmp", "Volt", "4-20", "Ctr", "Timr",
// "kWH", "Wmtr", "TH".
const QStringList& UnitTypeCaptions();
