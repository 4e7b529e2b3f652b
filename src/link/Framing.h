#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Command frames towards the unit: CR LF, code and arguments, CR LF, then two
// upper-case hexadecimal digits of the byte sum modulo 256. A sender hands the
// text with the placeholder "Z" in place of the checksum; texts without it
// (the Hayes result lines the checker plays as a modem) go out unchanged.

// Two upper-case hex digits of the sum of the character codes modulo 256.
QString getsum(QStringView text);
QByteArray ChecksumDigits(QByteArrayView bytes);

// The bytes that leave the port for a text: a trailing "Z" is replaced by the
// checksum of everything before it; any other text is sent byte for byte.
QByteArray FrameBytes(QByteArrayView text);

// CR LF code CR LF "Z": the usual text of a checksummed command.
QByteArray CommandText(QByteArrayView codeAndArguments);
