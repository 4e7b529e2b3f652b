#include "sim/UnitModel.h"

#include "sim/ReplyText.h"

#include "link/Frame.h"
#include "link/HexText.h"
#include "trace/TraceLine.h"

#include <algorithm>

QString UnitStateName(UnitState state) {
    switch (state) {
    case UnitState::Off:
        return QStringLiteral("off");
    case UnitState::ModemSetup:
        return QStringLiteral("modem set-up");
    case UnitState::Idle:
        return QStringLiteral("idle");
    case UnitState::Ringing:
        return QStringLiteral("ringing");
    case UnitState::Opening:
        return QStringLiteral("opening");
    case UnitState::Online:
        break;
    }
    return QStringLiteral("online");
}

QString FormatTraceEvent(const UnitTraceEvent& event) {
    // The wall-clock time is taken as the event is written, within the step
    // of the unit that produced it.
    TraceEntry entry;
    entry.MonoMs = event.Ms;
    entry.Wall = QDateTime::currentDateTime();
    entry.Side = QStringLiteral("unit");
    switch (event.Kind) {
    case UnitTraceEvent::EventKind::Received:
        entry.Direction = LineDirection::ToUnit;
        entry.Detail = event.Verdict;
        break;
    case UnitTraceEvent::EventKind::Sent:
        // The kind, told from the bytes, says what the frame is.
        entry.Direction = LineDirection::FromUnit;
        break;
    case UnitTraceEvent::EventKind::Note:
        entry.Kind = QStringLiteral("note");
        entry.Detail = event.Verdict;
        return FormatTraceLine(entry);
    }
    entry.Kind = FrameKindName(ClassifyFrame(event.Bytes, entry.Direction));
    entry.HasBytes = true;
    entry.Bytes = event.Bytes;
    return FormatTraceLine(entry);
}

UnitModel::UnitModel(UnitConfig config) : Settings(config) {
    if (!IsValidScanBits(Settings.ScanBits)) {
        Settings.ScanBits = 256;
    }
    UnitFaults& f = Settings.Faults;
    if (f.StuckCell < 0 || f.StuckCell >= kLineBytes * 8) {
        f.StuckCell = -1;
    }
    f.StuckValue = f.StuckValue != 0 ? 1 : 0;
    if (f.StuckLine < 0 || f.StuckLine >= kLines) {
        f.StuckLine = -1;
    }
    f.BadChecksumPercent = std::clamp(f.BadChecksumPercent, 0, 100);
}

void UnitModel::PowerOn(qint64 nowMs) {
    CurrentState = UnitState::Off;
    Receiver.Clear();
    Outbox.clear();
    LineFreeMs = nowMs;
    PowerOnMs = nowMs;
    LineMemory = {};
    CounterStartMs = nowMs;
    ScanRunning = false;
    ScanSampled = false;
    ScanCount = 0;
    RepliesSent = 0;
    SpoiledCodes.clear();
    LfDroppedCodes.clear();
    Note(nowMs, QStringLiteral("power on: %1 %2, %3 bits")
                    .arg(UnitFamilyName(Settings.Family),
                         QString::fromLatin1(UnitRomName(Settings.Family)))
                    .arg(Settings.ScanBits));
    if (Settings.Family == UnitFamily::Zel) {
        CurrentState = UnitState::Online;
    } else {
        StartModemSetup(nowMs + kBootMs);
    }
}

void UnitModel::PowerOff(qint64 nowMs) {
    CurrentState = UnitState::Off;
    Receiver.Clear();
    Outbox.clear();
    SetupDeadlineMs = -1;
    Note(nowMs, QStringLiteral("power off"));
}

void UnitModel::StartModemSetup(qint64 earliestMs) {
    CurrentState = UnitState::ModemSetup;
    SetupStep = 0;
    Enqueue(ModemCommandLine("AT&F"), true, earliestMs);
    SetupDeadlineMs = LineFreeMs + kSetupRetryMs;
}

void UnitModel::Receive(QByteArrayView bytes, qint64 nowMs) {
    if (CurrentState == UnitState::Off) {
        Trace({UnitTraceEvent::EventKind::Received, nowMs, bytes.toByteArray(),
               QStringLiteral("ignored: unit is off")});
        return;
    }
    for (const InboundFrame& frame : Receiver.Feed(bytes, nowMs)) {
        HandleFrame(frame, nowMs);
    }
}

void UnitModel::Tick(qint64 nowMs) {
    for (const InboundFrame& frame : Receiver.Expire(nowMs)) {
        HandleFrame(frame, nowMs);
    }
    if (CurrentState == UnitState::ModemSetup && SetupDeadlineMs >= 0 && nowMs >= SetupDeadlineMs) {
        Note(nowMs, QStringLiteral("no answer from the modem, set-up again"));
        StartModemSetup(nowMs);
    }
}

QList<QByteArray> UnitModel::TakeDueFrames(qint64 nowMs) {
    QList<QByteArray> due;
    while (!Outbox.empty() && Outbox.front().DueMs <= nowMs) {
        due.append(Outbox.front().Bytes);
        Outbox.pop_front();
    }
    return due;
}

qint64 UnitModel::NextWakeMs() const {
    qint64 next = -1;
    auto consider = [&next](qint64 t) {
        if (t >= 0 && (next < 0 || t < next)) {
            next = t;
        }
    };
    if (!Outbox.empty()) {
        consider(Outbox.front().DueMs);
    }
    if (CurrentState == UnitState::ModemSetup) {
        consider(SetupDeadlineMs);
    }
    if (CurrentState != UnitState::Off) {
        consider(Receiver.ExpiryMs());
    }
    return next;
}

QList<UnitTraceEvent> UnitModel::TakeTrace() {
    QList<UnitTraceEvent> taken;
    taken.swap(TraceLog);
    return taken;
}

QByteArray UnitModel::Line(int line) const {
    if (line < 0 || line >= kLines) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(LineMemory[line].data()), kLineBytes);
}

bool UnitModel::Bit(int line, int cell) const {
    if (line < 0 || line >= kLines || cell < 0 || cell >= kLineBytes * 8) {
        return false;
    }
    return (LineMemory[line][cell / 8] >> (cell % 8)) & 1;
}

bool UnitModel::IsStuck(int line, int cell) const {
    const UnitFaults& f = Settings.Faults;
    return cell >= 0 && cell == f.StuckCell && (f.StuckLine < 0 || f.StuckLine == line);
}

QByteArray UnitModel::ReportedLine(int line) const {
    QByteArray bytes = Line(line);
    const int cell = Settings.Faults.StuckCell;
    if (!bytes.isEmpty() && IsStuck(line, cell)) {
        const char mask = static_cast<char>(1 << (cell % 8));
        char& b = bytes[cell / 8];
        b = static_cast<char>(Settings.Faults.StuckValue != 0 ? b | mask : b & ~mask);
    }
    return bytes;
}

bool UnitModel::ReportedBit(int line, int cell) const {
    if (IsStuck(line, cell)) {
        return Settings.Faults.StuckValue != 0;
    }
    return Bit(line, cell);
}

QByteArray UnitModel::OutgoingReply(QByteArrayView body, qint64 nowMs) {
    QByteArray frame = ReplyFrame(body);
    const QByteArray code = body.first(std::min<qsizetype>(body.size(), 2)).toByteArray();
    // Reply n goes out spoiled when it carries the share past a whole reply:
    // floor(n p / 100) grows. That spreads the bad ones evenly, at 50 %
    // replies 2, 4, 6 ..., and repeats from power-on.
    const qint64 n = ++RepliesSent;
    const qint64 p = Settings.Faults.BadChecksumPercent;
    const bool shareDue = n * p / 100 > (n - 1) * p / 100;
    const bool firstOfCode =
        Settings.Faults.SpoilFirst.contains(code) && !SpoiledCodes.contains(code);
    if (shareDue || firstOfCode) {
        // The complement of the right sum: two hex digits, never the sum itself.
        const int right = static_cast<int>(ReadHex(QByteArrayView(frame).last(2)));
        frame.replace(frame.size() - 2, 2, Hex2(right ^ 0xFF).toLatin1());
        ++SpoiledReplies;
        if (firstOfCode) {
            SpoiledCodes.append(code);
        }
        Note(nowMs,
             QStringLiteral("reply %1 sent with a wrong checksum (%2 fault)")
                 .arg(n)
                 .arg(shareDue ? QStringLiteral("bad-checksum")
                               : QStringLiteral("spoil-first=%1").arg(QString::fromLatin1(code))));
    }
    if (Settings.Faults.DropLfFirst.contains(code) && !LfDroppedCodes.contains(code)) {
        // The closing CR LF stands just before the two checksum characters.
        frame.remove(frame.size() - 3, 1);
        LfDroppedCodes.append(code);
        Note(nowMs, QStringLiteral("reply %1 sent without the LF after its closing CR "
                                   "(drop-lf-first=%2 fault)")
                        .arg(n)
                        .arg(QString::fromLatin1(code)));
    }
    return frame;
}

uint32_t UnitModel::Counter(qint64 nowMs) const {
    const qint64 elapsed = std::max<qint64>(0, nowMs - CounterStartMs);
    return static_cast<uint32_t>(elapsed * kCounterPerSecond / 1000) & 0xFFFFFF;
}

UnitRecord UnitModel::Record(int index, qint64 nowMs) const {
    const bool known = index >= 1 && index <= kInputUnits;
    const UnitType kind = known ? Settings.Inputs[index - 1] : UnitType::Immediate;
    const bool sampled = known && ScanSampled && index <= ScanCount;
    const qint64 at = ScanRunning ? nowMs : ScanStoppedMs;
    return BuildUnitRecord(index, kind, sampled, UnitMs(at));
}

qint64 UnitModel::WireMs(qsizetype bytes) const {
    return (static_cast<qint64>(bytes) * Settings.ByteTimeUs + 999) / 1000;
}

void UnitModel::HandleFrame(const InboundFrame& frame, qint64 nowMs) {
    UnitTraceEvent event{UnitTraceEvent::EventKind::Received, nowMs, frame.Bytes, {}};
    switch (frame.Kind) {
    case InboundKind::Command:
        event.Verdict = QStringLiteral("checksum ok");
        Trace(event);
        HandleCommand(frame.Text, nowMs);
        return;
    case InboundKind::ModemResult:
        event.Verdict = QStringLiteral("modem result, no checksum");
        Trace(event);
        HandleModemResult(frame.Text, nowMs);
        return;
    case InboundKind::BadChecksum:
        ++BadChecksums;
        event.Verdict = QStringLiteral("checksum BAD (sum %1), ignored").arg(Hex2(frame.Sum));
        Trace(event);
        return;
    case InboundKind::Malformed:
        event.Verdict = QStringLiteral("no frame, ignored");
        Trace(event);
        return;
    }
}

void UnitModel::HandleModemResult(const QByteArray& text, qint64 nowMs) {
    if (Settings.Family == UnitFamily::Zel) {
        Note(nowMs, QStringLiteral("no modem on this unit, line ignored"));
        return;
    }
    LogCommand(text);
    const UnitState before = CurrentState;
    if (CurrentState == UnitState::ModemSetup && text == "OK") {
        if (SetupStep == 0) {
            SetupStep = 1;
            Enqueue(ModemCommandLine("ATH0"), true, nowMs + kModemAnswerDelayMs);
            SetupDeadlineMs = LineFreeMs + kSetupRetryMs;
        } else {
            CurrentState = UnitState::Idle;
            SetupDeadlineMs = -1;
        }
    } else if (text == "RING" &&
               (CurrentState == UnitState::Idle || CurrentState == UnitState::Ringing)) {
        CurrentState = UnitState::Ringing;
    } else if (text == "CONNECT" &&
               (CurrentState == UnitState::Idle || CurrentState == UnitState::Ringing)) {
        CurrentState = UnitState::Opening;
    } else if (text == "NO CARRIER" && CurrentState != UnitState::ModemSetup) {
        EndSession(nowMs);
    }
    if (CurrentState != before) {
        Note(nowMs, QStringLiteral("now %1").arg(UnitStateName(CurrentState)));
    }
}

bool UnitModel::Listens(const QByteArray& text) const {
    switch (CurrentState) {
    case UnitState::Off:
    case UnitState::ModemSetup:
        return false;
    case UnitState::Idle:
    case UnitState::Ringing:
        return text == "QV"; // on-hook: only the version request gets through
    case UnitState::Opening:
    case UnitState::Online:
        break;
    }
    return true;
}

void UnitModel::HandleCommand(const QByteArray& text, qint64 nowMs) {
    if (!Listens(text)) {
        Note(nowMs, QStringLiteral("ignored while %1").arg(UnitStateName(CurrentState)));
        return;
    }
    LogCommand(text);
    const QByteArray& restartOn = Settings.Faults.RestartOn;
    if (!restartOn.isEmpty() && !RestartedOnce && text.startsWith(restartOn)) {
        RestartedOnce = true;
        Note(nowMs, QStringLiteral("restarts on \"%1\"").arg(QString::fromLatin1(text)));
        PowerOn(nowMs);
        return;
    }
    const UnitState before = CurrentState;
    const QByteArray body = Execute(text, nowMs);
    const qint64 earliest = nowMs + kReplyDelayMs;
    if (Outbox.size() >= static_cast<size_t>(kMaxQueuedFrames) ||
        LineFreeMs - earliest > kMaxBacklogMs) {
        ++DroppedReplies;
        Note(nowMs, QStringLiteral("reply dropped: %1 frames still waiting").arg(Outbox.size()));
    } else {
        Enqueue(OutgoingReply(body, nowMs), false, earliest);
    }
    if (CurrentState != before) {
        Note(nowMs, QStringLiteral("now %1").arg(UnitStateName(CurrentState)));
    }
}

void UnitModel::LogCommand(const QByteArray& text) {
    CommandLog.append(text);
    if (CommandLog.size() > kMaxLogged) {
        CommandLog.removeFirst();
    }
}

void UnitModel::Enqueue(const QByteArray& bytes, bool modemLine, qint64 earliestMs) {
    const qint64 due = std::max(earliestMs, LineFreeMs);
    Outbox.push_back({bytes, due});
    LineFreeMs = due + WireMs(bytes.size()) + (modemLine ? kGapAfterModemLineMs : kGapAfterReplyMs);
}

void UnitModel::Note(qint64 nowMs, const QString& text) {
    Trace({UnitTraceEvent::EventKind::Note, nowMs, {}, text});
}

void UnitModel::Trace(UnitTraceEvent event) {
    TraceLog.append(std::move(event));
    if (TraceLog.size() > kMaxLogged) {
        TraceLog.removeFirst();
    }
}
