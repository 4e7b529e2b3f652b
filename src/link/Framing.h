#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Frames on the line to the unit. A command is CR LF, its code and arguments,
// CR LF, then two upper-case hexadecimal digits of the byte sum modulo 256 of
// everything before them (the unit's replies have the same shape). A modem
// line, the Hayes result codes the checker plays as the unit's modem, is CR
// LF, the text and CR LF, without a checksum.

// Two upper-case hex digits of the byte sum modulo 256 ("00" for no bytes).
QByteArray getsum(QByteArrayView bytes);

// The bytes of a checksummed command.
QByteArray CommandFrame(QByteArrayView codeAndArguments);

// The bytes of a modem line.
QByteArray ModemLine(QByteArrayView text);
