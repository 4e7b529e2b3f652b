#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Number texts as the checker writes and reads them.
//
// Written hexadecimal is upper case; a one-byte field is two digits ("05",
// "0A"), a one-digit field one digit. Read hexadecimal is taken most
// significant digit first, 0-9, A-F or a-f, and stops at the first character
// that is not a digit; no digit reads as 0. Every test is made on the byte as
// an unsigned value, so bytes 0x80..0xFF and NUL are ordinary non-digits.

QString Hex2(int value); // last two digits of "0" + hex(value): 5 -> "05", 10 -> "0A"
QString Hex1(int value); // one upper-case digit of value & 15

int HexDigitValue(unsigned char c); // 0..15, or -1 when c is no hex digit

// Reads a group of hex characters, most significant first, stopping at the
// first non-digit. An empty group or one without a leading digit reads 0.
uint32_t ReadHex(QByteArrayView digits);
// The same in base 10.
uint32_t ReadDecimal(QByteArrayView digits);

// Fields of a reply text by 1-based position and width; a field that runs past
// the end of the text is cut short.
QByteArrayView Field(QByteArrayView text, int position, int width);
uint32_t FieldHex(QByteArrayView text, int position, int width);
// A four-digit field read as a signed 16-bit value (FFFF reads -1).
int16_t FieldHexSigned16(QByteArrayView text, int position);
uint32_t FieldDecimal(QByteArrayView text, int position, int width);
