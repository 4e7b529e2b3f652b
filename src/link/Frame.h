#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Frames on the line to the unit, built and read in one place.
//
// A command is CR LF, its code and arguments, CR LF, then two upper-case
// hexadecimal digits of the byte sum modulo 256 of everything before them; the
// unit's replies have the same shape. A modem line, the Hayes result codes the
// checker plays as the unit's modem, is CR LF, the text and CR LF, without a
// checksum. The unit's modem driver sends Hayes command lines ("AT..." CR),
// result lines (CR LF ... CR LF) and the escape "+++".

enum class LineDirection { None, ToUnit, FromUnit };

enum class FrameKind {
    Command,      // checksummed command to the unit
    ModemLine,    // raw modem line to the unit (CR LF text CR LF)
    Reply,        // checksummed reply from the unit
    ModemCommand, // the unit's modem command line ("AT..." CR)
    ResultLine,   // the unit's result line (CR LF ... CR LF)
    Escape,       // the unit's "+++"
    Unknown,      // bytes that fit none of the above
};

// A frame read from its bytes.
struct Frame {
    FrameKind Kind = FrameKind::Unknown;
    // The two-character code of a command or reply ("QV", "Qf"); shorter when
    // the text is, empty for every other kind.
    QByteArray Code;
    // What follows the code up to the first CR; for a modem, result or modem
    // command line its whole text; empty for the escape and unknown bytes.
    QByteArray Arguments;
    // The two characters after the closing CR LF read as hex (-1 when they
    // are missing or either is no hex digit).
    int ReceivedSum = -1;
    // Byte sum modulo 256 of everything up to and including the closing CR LF
    // (-1 when the text is not closed by CR LF).
    int ComputedSum = -1;
    QByteArray Bytes;

    // Code and arguments together, as they stand between the CR LFs.
    QByteArray Text() const { return Code + Arguments; }
    bool ChecksumRight() const { return ComputedSum >= 0 && ReceivedSum == ComputedSum; }
};

// Reads a frame going the given way. Bytes that fit no frame kind give an
// Unknown frame that still holds them.
Frame ReadFrame(QByteArrayView bytes, LineDirection direction);

// The kind of a frame going the given way, told from its first bytes.
FrameKind ClassifyFrame(QByteArrayView bytes, LineDirection direction);

// The kind's name in the line trace ("command", "reply", ..., "frame").
QString FrameKindName(FrameKind kind);

// Two upper-case hex digits of the byte sum modulo 256 ("00" for no bytes).
QByteArray getsum(QByteArrayView bytes);

// The bytes of a checksummed command (or of a reply, the unit's side).
QByteArray CommandFrame(QByteArrayView codeAndArguments);

// The bytes of a modem line (the unit's result lines have the same shape).
QByteArray ModemLine(QByteArrayView text);

// The bytes of a Hayes command line as the unit's modem driver sends it: the
// text and CR.
QByteArray ModemCommandLine(QByteArrayView text);
