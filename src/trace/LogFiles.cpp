#include "trace/LogFiles.h"

#include "trace/CsvRow.h"

namespace {

// A frame of one byte that the receiver refused: the start of nothing it
// knows, as the bytes after a broken frame are taken one by one.
bool IsRefusedByte(QByteArrayView bytes, const FrameOutcome& outcome) {
    return bytes.size() == 1 && outcome.Result == ReplyReceiver::Result::Rejected;
}

} // namespace

TraceLog::TraceLog() {
    Clock.start();
    RunQuiet.setSingleShot(true);
    RunQuiet.setInterval(kRunQuietMs);
    RunQuiet.callOnTimeout([this] { EndRefusedRun(); });
}

TraceLog::~TraceLog() {
    // Whoever heard of failures may be gone by now.
    FailureHandler = nullptr;
    EndRefusedRun();
}

bool TraceLog::Open(const QString& path, QString* error) {
    if (File.Open(path, OutputFile::Mode::Append)) {
        return true;
    }
    if (error != nullptr) {
        *error = File.Error();
    }
    return false;
}

void TraceLog::Write(TraceEntry entry) {
    EndRefusedRun();
    entry.MonoMs = Clock.elapsed();
    entry.Wall = QDateTime::currentDateTime();
    Emit(entry);
}

void TraceLog::Emit(const TraceEntry& entry) {
    if (!File.IsOpen()) {
        return;
    }
    TraceEntry line = entry;
    line.Side = QStringLiteral("checker");
    if (!File.Write(FormatTraceLine(line).toUtf8() + '\n') && FailureHandler) {
        FailureHandler(File.Error());
    }
}

void TraceLog::EndRefusedRun() {
    RunQuiet.stop();
    if (RunBytes.isEmpty()) {
        return;
    }
    TraceEntry e;
    e.MonoMs = RunMonoMs;
    e.Wall = RunWall;
    e.Direction = LineDirection::FromUnit;
    e.HasBytes = true;
    e.Bytes = RunBytes;
    if (RunBytes.size() == 1) {
        e.Kind = FrameKindName(ClassifyFrame(RunBytes, LineDirection::FromUnit));
        e.Detail = RunVerdict;
    } else {
        QString reason = RunVerdict;
        if (reason.startsWith(QLatin1String("rejected: "))) {
            reason.remove(0, 10);
        }
        e.Kind = FrameKindName(FrameKind::Unknown);
        e.Detail = QStringLiteral("%1 bytes refused: %2").arg(RunBytes.size()).arg(reason);
    }
    RunBytes.clear();
    RunVerdict.clear();
    Emit(e);
}

void TraceLog::Sent(FrameKind kind, QByteArrayView bytes) {
    TraceEntry e;
    e.Direction = LineDirection::ToUnit;
    e.Kind = FrameKindName(kind);
    e.HasBytes = true;
    e.Bytes = bytes.toByteArray();
    Write(std::move(e));
}

void TraceLog::Received(QByteArrayView bytes, const FrameOutcome& outcome, int bufferSize) {
    const QString verdict = ReceiveVerdict(outcome, bufferSize);
    if (IsRefusedByte(bytes, outcome)) {
        // One more byte of the run, unless its verdict differs.
        if (!RunBytes.isEmpty() && verdict != RunVerdict) {
            EndRefusedRun();
        }
        if (RunBytes.isEmpty()) {
            RunMonoMs = Clock.elapsed();
            RunWall = QDateTime::currentDateTime();
            RunVerdict = verdict;
        }
        RunBytes += bytes.toByteArray();
        RunQuiet.start();
        return;
    }
    TraceEntry e;
    e.Direction = LineDirection::FromUnit;
    e.Kind = FrameKindName(ClassifyFrame(bytes, LineDirection::FromUnit));
    e.HasBytes = true;
    e.Bytes = bytes.toByteArray();
    e.Detail = verdict;
    Write(std::move(e));
}

void TraceLog::Reading(const QString& text) {
    TraceEntry e;
    e.Direction = LineDirection::FromUnit;
    e.Kind = QStringLiteral("reading");
    e.Detail = text;
    Write(std::move(e));
}

void TraceLog::Port(const QString& text) {
    TraceEntry e;
    e.Kind = QStringLiteral("port");
    e.Detail = text;
    Write(std::move(e));
}

void TraceLog::Note(const QString& text) {
    TraceEntry e;
    e.Kind = QStringLiteral("note");
    e.Detail = text;
    Write(std::move(e));
}

RecordLog::~RecordLog() = default;

QStringList RecordLog::Header() {
    QStringList header{QStringLiteral("time"), QStringLiteral("unit"), QStringLiteral("type"),
                       QStringLiteral("record")};
    for (int c = 1; c <= 8; ++c) {
        header << QStringLiteral("%1CH").arg(c);
    }
    return header;
}

bool RecordLog::Open(const QString& path, QString* error) {
    if (File.Open(path, OutputFile::Mode::Append) &&
        (File.Size() > 0 || File.Write(CsvRow(Header())))) {
        return true;
    }
    if (error != nullptr) {
        *error = File.Error();
    }
    return false;
}

void RecordLog::Write(int unit, const QString& typeCaption, int record,
                      const QStringList& channels) {
    if (!File.IsOpen()) {
        return;
    }
    QStringList fields{
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
        QStringLiteral("a%1").arg(unit), typeCaption, QString::number(record)};
    fields << channels;
    if (!File.Write(CsvRow(fields)) && FailureHandler) {
        FailureHandler(File.Error());
    }
}
