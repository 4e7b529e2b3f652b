#pragma once

#include "trace/TraceLine.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

// The line trace as the checker writes it: one formatted line per event, to
// standard error or appended to a file, flushed at once so that a crash or an
// unplugged device loses nothing already seen. Written from the window thread.
class TraceLog {
public:
    TraceLog();
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // An empty path means standard error. False with a message when the file
    // cannot be opened for appending.
    bool Open(const QString& path, QString* error);

    // A frame the checker sent.
    void Sent(FrameKind kind, QByteArrayView bytes);
    // A frame the checker collected, with the receiver's verdict.
    void Received(QByteArrayView bytes, const FrameOutcome& outcome, int bufferSize);
    // What the dispatcher took from an accepted reply.
    void Reading(const QString& text);
    // The port opened, failed to open, closed or failed.
    void Port(const QString& text);

    void Write(TraceEntry entry);

private:
    QElapsedTimer Clock;
    std::FILE* File = nullptr;
    bool OwnsFile = false;
};

// The measurement record: every row of the unit table the window shows, as a
// CSV row appended to a file and flushed at once. A new (empty) file gets the
// header row first.
class RecordLog {
public:
    RecordLog() = default;
    ~RecordLog();
    RecordLog(const RecordLog&) = delete;
    RecordLog& operator=(const RecordLog&) = delete;

    bool Open(const QString& path, QString* error);
    // Unit 1..10, the type caption, the record number and the eight channel
    // texts as shown.
    void Write(int unit, const QString& typeCaption, int record, const QStringList& channels);

    static QStringList Header();

private:
    std::FILE* File = nullptr;
};
