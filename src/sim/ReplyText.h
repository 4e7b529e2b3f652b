#pragma once

#include "sim/UnitTypes.h"

#include <QByteArray>
#include <QByteArrayView>

// Texts the simulated unit sends.

// A checksummed reply: CR LF, body, CR LF, two upper-case hex digits of the
// byte sum of everything before them.
QByteArray ReplyFrame(QByteArrayView body);

// Bytes as hex digits, least significant digit first: 0x1F 0x80 -> "F108".
// This is how "QB" and "Qf" replies carry line and record data.
QByteArray LsdFirstDigits(QByteArrayView bytes);

// Reads hex digit pairs, most significant digit first, the order in which the
// checker writes line data: "1F80" -> 0x1F 0x80. False when the count is odd
// or a character is no hex digit.
bool ReadMsdFirstBytes(QByteArrayView digits, QByteArray* bytes);

// Body of the version reply: "QV", a board digit, the ROM name (8 characters,
// 7 for the RAV family), a 10-character board field and the 8-character ROM
// date. The checker reads the name at position 6 of the frame text and the
// date at 24 (23 for RAV).
QByteArray VersionReplyBody(UnitFamily family);
// The ROM date of a family, the second field of the version reply.
QByteArray UnitRomDate(UnitFamily family);

// Body of the counter reply: "QG" and the 24-bit value as six hex digits,
// high byte first.
QByteArray CounterReplyBody(uint32_t value);
