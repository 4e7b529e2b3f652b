#pragma once

#include "trace/OutputFile.h"
#include "trace/TraceLine.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Told once, with "cannot write FILE: reason", when a log's file fails; the
// log writes nothing more to it.
using OutputFailureHandler = std::function<void(const QString& reason)>;

// The line trace as the checker writes it: one formatted line per event, to
// standard error or appended to a file, each line written whole at once so
// that a crash or an unplugged device loses nothing already seen. A run of
// bytes the receiver refused one at a time (what follows a broken frame) is
// one line, written when the run ends: at the next other event, or after a
// second without one. Written from the window thread.
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
    // A remark of the checker's own, such as where a check step begins.
    void Note(const QString& text);

    void Write(TraceEntry entry);
    // Writes the pending run of refused bytes now, if any.
    void EndRefusedRun();

    void OnFailure(OutputFailureHandler handler) { FailureHandler = std::move(handler); }
    bool Failed() const { return File.Failed(); }

    // How long a run of refused bytes waits for its next byte before its line
    // is written all the same.
    static constexpr int kRunQuietMs = 1000;

private:
    // Writes the entry with the times it already has.
    void Emit(const TraceEntry& entry);

    QElapsedTimer Clock;
    OutputFile File;
    OutputFailureHandler FailureHandler;
    // The run of refused single bytes not yet written: its bytes, their
    // verdict, and the times of its first byte.
    QByteArray RunBytes;
    QString RunVerdict;
    qint64 RunMonoMs = 0;
    QDateTime RunWall;
    QTimer RunQuiet;
};

// The measurement record: every row of the unit table the window shows, as a
// CSV row appended to a file, whole, in one write. A new (empty) file gets the
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

    void OnFailure(OutputFailureHandler handler) { FailureHandler = std::move(handler); }
    bool Failed() const { return File.Failed(); }

private:
    OutputFile File;
    OutputFailureHandler FailureHandler;
};
