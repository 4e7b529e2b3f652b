#include "trace/LogFiles.h"

#include "trace/CsvRow.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace {

std::FILE* OpenForAppending(const QString& path, QString* error) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "ab");
    if (file == nullptr && error != nullptr) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return file;
}

} // namespace

TraceLog::TraceLog() {
    Clock.start();
}

TraceLog::~TraceLog() {
    if (OwnsFile) {
        std::fclose(File);
    }
}

bool TraceLog::Open(const QString& path, QString* error) {
    if (path.isEmpty()) {
        File = stderr;
        return true;
    }
    File = OpenForAppending(path, error);
    OwnsFile = File != nullptr;
    return OwnsFile;
}

void TraceLog::Write(TraceEntry entry) {
    if (File == nullptr) {
        return;
    }
    entry.MonoMs = Clock.elapsed();
    entry.Wall = QDateTime::currentDateTime();
    entry.Side = QStringLiteral("checker");
    const QByteArray line = FormatTraceLine(entry).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), File);
    std::fflush(File);
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
    TraceEntry e;
    e.Direction = LineDirection::FromUnit;
    e.Kind = FrameKindName(ClassifyFrame(bytes, LineDirection::FromUnit));
    e.HasBytes = true;
    e.Bytes = bytes.toByteArray();
    e.Detail = ReceiveVerdict(outcome, bufferSize);
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

RecordLog::~RecordLog() {
    if (File != nullptr) {
        std::fclose(File);
    }
}

QStringList RecordLog::Header() {
    QStringList header{QStringLiteral("time"), QStringLiteral("unit"), QStringLiteral("type"),
                       QStringLiteral("record")};
    for (int c = 1; c <= 8; ++c) {
        header << QStringLiteral("%1CH").arg(c);
    }
    return header;
}

bool RecordLog::Open(const QString& path, QString* error) {
    File = OpenForAppending(path, error);
    if (File == nullptr) {
        return false;
    }
    std::fseek(File, 0, SEEK_END);
    if (std::ftell(File) == 0) {
        const QByteArray header = CsvRow(Header());
        std::fwrite(header.constData(), 1, static_cast<std::size_t>(header.size()), File);
    }
    if (std::fflush(File) != 0) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot write %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        }
        std::fclose(File);
        File = nullptr;
        return false;
    }
    return true;
}

void RecordLog::Write(int unit, const QString& typeCaption, int record,
                      const QStringList& channels) {
    if (File == nullptr) {
        return;
    }
    QStringList fields{
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
        QStringLiteral("a%1").arg(unit), typeCaption, QString::number(record)};
    fields << channels;
    const QByteArray row = CsvRow(fields);
    std::fwrite(row.constData(), 1, static_cast<std::size_t>(row.size()), File);
    std::fflush(File);
}
