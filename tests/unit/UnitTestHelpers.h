#pragma once

// Helpers shared by the unit-control suites: names for the frames on the line,
// a version reply for a given ROM name, and connecting the form to a unit.
#include "FormFixture.h"

#include <QStringList>

namespace UnitTest {

// A readable name for one write: the command code of a checksummed frame, or
// the text of a raw modem line in angle brackets.
inline QString NameOf(const QByteArray& bytes) {
    if (bytes.size() >= 6 && bytes.startsWith("\r\n") && bytes.endsWith("\r\n")) {
        return "<" + QString::fromLatin1(bytes.mid(2, bytes.size() - 4)) + ">";
    }
    if (bytes.size() >= 7 && bytes.startsWith("\r\n")) {
        const QByteArray body = bytes.left(bytes.size() - 2);
        if (body.endsWith("\r\n") && Wire(body.mid(2, body.size() - 4)) == bytes) {
            return QString::fromLatin1(body.mid(2, body.size() - 4));
        }
    }
    return "?" + QString::fromLatin1(bytes.toHex(' '));
}

inline QStringList Names(const QList<FakeSerialControl::Write>& writes) {
    QStringList out;
    for (const auto& w : writes) {
        out << NameOf(w.Bytes);
    }
    return out;
}

// Writes from the given index on, as names.
inline QStringList NamesFrom(const FakeSerialControl& serial, int from) {
    return Names(serial.Writes.mid(from));
}

// The unit's answer to "QV": a blank, the 8-character ROM name at frame
// positions 6-13, then ten filler characters and an eight-character second
// field, so that both the field at 23 (RAV family) and at 24 read something.
inline QByteArray VersionReply(const QByteArray& romName) {
    return FakeSerialControl::Reply("QV " + romName.leftJustified(8, ' ', true) +
                                    "..........V1.30ABC");
}

// Makes the form connected the way a powered unit does: its version reply is
// received and dispatched, and the family's connect sequence runs.
inline bool ConnectTo(FormFixture& f, const QByteArray& romName, int timeoutMs = 3000) {
    f.Serial.Receive(VersionReply(romName));
    return f.PumpUntil([&] { return f.State().Connected == 1; }, timeoutMs);
}

// Gaps in ms between consecutive writes, starting at index from.
inline QList<qint64> Gaps(const FakeSerialControl& serial, int from = 0) {
    QList<qint64> out;
    for (int i = from + 1; i < serial.Writes.size(); ++i) {
        out << serial.Writes[i].AtMs - serial.Writes[i - 1].AtMs;
    }
    return out;
}

inline QString Describe(const QList<qint64>& values) {
    QStringList parts;
    for (qint64 v : values) {
        parts << QString::number(v);
    }
    return parts.join(',');
}

} // namespace UnitTest
