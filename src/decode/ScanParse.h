#pragma once

#include "core/CheckerState.h"

#include <QByteArrayView>

// Parsers of the scan replies. Each fills the shared scan state (ScanBits,
// ScanBytes, ScanValues, ScanLine) from one reply and draws nothing. Data
// fields of "QB" and "Qf" are hex text least significant digit first: byte c
// is the pair of characters 2c+1 (low) and 2c+2 (high), value d the triple
// 3d+5 (low) .. 3d+7 (high). Characters past the end of a field are empty.

// Line digit of a "QB"/"Qf" reply text (1-based position 5, decimal; a
// non-digit reads 0). Returns -1 when it names no line (4..9): such a reply
// must be refused and leave the scan state untouched.
int ScanReplyLine(QByteArrayView s);

// One hex character per monitor cell at ReceiveBuffer[4 + i], i = 0 ..
// ScanBitLast (at most 255); bits 0..3 of the character go to lines 0..3.
void ParseScanQD(CheckerState& st);

// A "QB" reply: line digit at 5, ScanDigitLast + 1 data characters from 6.
// Refused (false, nothing changed) when the line digit names no line.
bool ParseScanQB(CheckerState& st, QByteArrayView s);

// A "Qf" reply: line digit at 5, two skipped characters, 64 data characters
// from 8. Refused (false, nothing changed) when the line digit names no line.
bool ParseScanQf(CheckerState& st, QByteArrayView s);
