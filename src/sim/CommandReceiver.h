#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Reassembles what the checker sends into frames.
//
// A command is CR LF, code and arguments, CR LF and two hexadecimal checksum
// digits (the byte sum of everything before them). The modem result lines the
// checker plays towards LUP and RAV units ("OK", "RING", "CONNECT", ...) have
// the same shape without the checksum; they are known by their text. Bytes
// outside a frame, frames cut short and frames whose checksum is wrong are
// reported as such so that the unit ignores them and a trace can show why.

enum class InboundKind {
    Command,     // checksum right
    ModemResult, // a Hayes result line, no checksum
    BadChecksum, // complete frame whose checksum does not match
    Malformed    // anything else: stray bytes, broken frame, missing checksum
};

struct InboundFrame {
    InboundKind Kind = InboundKind::Malformed;
    QByteArray Text;  // code and arguments, or the result line's text
    QByteArray Bytes; // every byte of the frame as it arrived
    int Sum = 0;      // byte sum (mod 256) of the covered bytes, for BadChecksum
};

// True for the texts of the Hayes result lines ("OK", "RING", "4", ...).
bool IsModemResultText(QByteArrayView text);

class CommandReceiver {
public:
    // Longest code-and-arguments text accepted; longer frames are dropped.
    static constexpr int kMaxText = 300;
    // A frame left unfinished for this long is dropped.
    static constexpr qint64 kStaleMs = 500;

    // Takes received bytes; returns the frames they complete, in order.
    QList<InboundFrame> Feed(QByteArrayView bytes, qint64 nowMs);
    // Drops an unfinished frame that has been quiet for kStaleMs.
    QList<InboundFrame> Expire(qint64 nowMs);
    // When Expire next has work, or -1.
    qint64 ExpiryMs() const;
    void Clear();

private:
    enum class Stage { Hunt, OpeningLf, Text, ClosingLf, Sum1, Sum2 };

    void Take(char byte, QList<InboundFrame>* out);
    void Finish(InboundKind kind, QList<InboundFrame>* out);
    void StartFrame(char cr);

    Stage CurrentStage = Stage::Hunt;
    QByteArray Bytes;
    QByteArray Text;
    int Sum = 0;
    int FirstDigit = 0;
    qint64 LastByteMs = 0;
};
