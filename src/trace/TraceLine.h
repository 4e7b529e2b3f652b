#pragma once

#include "link/Frame.h"
#include "link/FrameCollector.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// One line of the line trace, shared by the checker and the simulated unit so
// that the traces of both ends of one bench run, sorted by their wall-clock
// field, read as one conversation:
//
//   MONO WALL SIDE DIRECTION KIND ["BYTES"] [DETAIL]
//
// MONO is the monotonic time in ms since the program started (right-aligned),
// WALL the local wall-clock time (yyyy-MM-ddTHH:mm:ss.zzz), SIDE "checker" or
// "unit", DIRECTION "to-unit", "from-unit" or "-", KIND what the line is about
// (see FrameKindName, or "reading", "port", "note"), BYTES the frame with
// control bytes, backslash and double quote escaped, DETAIL the verdict, the
// reading or the event text.

QString DirectionName(LineDirection direction);

// The bytes as printable ASCII: CR, LF and TAB as \r \n \t, backslash and
// double quote as \\ and \", every other control or non-ASCII byte as \xNN.
QString EscapeBytes(QByteArrayView bytes);

// The receiver's verdict on a collected frame: "accepted", "checksum error
// (received XX, computed YY)" or "rejected: <reason>", followed by
// "; n more read with it, dropped" when bytes read with the frame were not kept.
QString ReceiveVerdict(const FrameOutcome& outcome, int bufferSize);

struct TraceEntry {
    qint64 MonoMs = 0;
    QDateTime Wall;
    QString Side;
    LineDirection Direction = LineDirection::None;
    QString Kind;
    bool HasBytes = false;
    QByteArray Bytes;
    QString Detail;
};

QString FormatTraceLine(const TraceEntry& entry);
