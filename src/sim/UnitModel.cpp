#include "sim/UnitModel.h"

#include "sim/ReplyText.h"

#include "link/HexText.h"

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
    QString shown;
    for (char c : event.bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += QStringLiteral("<CR>");
        } else if (c == '\n') {
            shown += QStringLiteral("<LF>");
        } else if (b < 0x20 || b >= 0x7F) {
            shown += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        } else {
            shown += QLatin1Char(c);
        }
    }
    const char* direction = event.kind == UnitTraceEvent::Kind::Received ? "<-"
                            : event.kind == UnitTraceEvent::Kind::Sent   ? "->"
                                                                         : "..";
    QString line = QStringLiteral("%1 ms %2 ").arg(event.ms, 9).arg(QLatin1String(direction));
    if (!shown.isEmpty()) {
        line += shown + QLatin1String("  ");
    }
    return line + event.verdict;
}

UnitModel::UnitModel(UnitConfig config) : config_(config) {
    if (!IsValidScanBits(config_.scanBits)) {
        config_.scanBits = 256;
    }
}

void UnitModel::PowerOn(qint64 nowMs) {
    state_ = UnitState::Off;
    receiver_.Clear();
    outbox_.clear();
    lineFreeMs_ = nowMs;
    powerOnMs_ = nowMs;
    lines_ = {};
    counterStartMs_ = nowMs;
    scanRunning_ = false;
    scanSampled_ = false;
    scanCount_ = 0;
    Note(nowMs,
         QStringLiteral("power on: %1 %2, %3 bits")
             .arg(UnitFamilyName(config_.family), QString::fromLatin1(UnitRomName(config_.family)))
             .arg(config_.scanBits));
    if (config_.family == UnitFamily::Zel) {
        state_ = UnitState::Online;
    } else {
        StartModemSetup(nowMs + kBootMs);
    }
}

void UnitModel::PowerOff(qint64 nowMs) {
    state_ = UnitState::Off;
    receiver_.Clear();
    outbox_.clear();
    setupDeadlineMs_ = -1;
    Note(nowMs, QStringLiteral("power off"));
}

void UnitModel::StartModemSetup(qint64 earliestMs) {
    state_ = UnitState::ModemSetup;
    setupStep_ = 0;
    Enqueue(ModemCommandLine("AT&F"), true, earliestMs);
    setupDeadlineMs_ = lineFreeMs_ + kSetupRetryMs;
}

void UnitModel::Receive(QByteArrayView bytes, qint64 nowMs) {
    if (state_ == UnitState::Off) {
        Trace({UnitTraceEvent::Kind::Received, nowMs, bytes.toByteArray(),
               QStringLiteral("ignored: unit is off")});
        return;
    }
    for (const InboundFrame& frame : receiver_.Feed(bytes, nowMs)) {
        HandleFrame(frame, nowMs);
    }
}

void UnitModel::Tick(qint64 nowMs) {
    for (const InboundFrame& frame : receiver_.Expire(nowMs)) {
        HandleFrame(frame, nowMs);
    }
    if (state_ == UnitState::ModemSetup && setupDeadlineMs_ >= 0 && nowMs >= setupDeadlineMs_) {
        Note(nowMs, QStringLiteral("no answer from the modem, set-up again"));
        StartModemSetup(nowMs);
    }
}

QList<QByteArray> UnitModel::TakeDueFrames(qint64 nowMs) {
    QList<QByteArray> due;
    while (!outbox_.empty() && outbox_.front().dueMs <= nowMs) {
        due.append(outbox_.front().bytes);
        outbox_.pop_front();
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
    if (!outbox_.empty()) {
        consider(outbox_.front().dueMs);
    }
    if (state_ == UnitState::ModemSetup) {
        consider(setupDeadlineMs_);
    }
    if (state_ != UnitState::Off) {
        consider(receiver_.ExpiryMs());
    }
    return next;
}

QList<UnitTraceEvent> UnitModel::TakeTrace() {
    QList<UnitTraceEvent> taken;
    taken.swap(trace_);
    return taken;
}

QByteArray UnitModel::Line(int line) const {
    if (line < 0 || line >= kLines) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(lines_[line].data()), kLineBytes);
}

bool UnitModel::Bit(int line, int cell) const {
    if (line < 0 || line >= kLines || cell < 0 || cell >= kLineBytes * 8) {
        return false;
    }
    return (lines_[line][cell / 8] >> (cell % 8)) & 1;
}

uint32_t UnitModel::Counter(qint64 nowMs) const {
    const qint64 elapsed = std::max<qint64>(0, nowMs - counterStartMs_);
    return static_cast<uint32_t>(elapsed * kCounterPerSecond / 1000) & 0xFFFFFF;
}

UnitRecord UnitModel::Record(int index, qint64 nowMs) const {
    const bool known = index >= 1 && index <= kInputUnits;
    const InputKind kind = known ? config_.inputs[index - 1] : InputKind::Raw;
    const bool sampled = known && scanSampled_ && index <= scanCount_;
    const qint64 at = scanRunning_ ? nowMs : scanStoppedMs_;
    return BuildUnitRecord(index, kind, sampled, UnitMs(at));
}

qint64 UnitModel::WireMs(qsizetype bytes) const {
    return (static_cast<qint64>(bytes) * config_.byteTimeUs + 999) / 1000;
}

void UnitModel::HandleFrame(const InboundFrame& frame, qint64 nowMs) {
    UnitTraceEvent event{UnitTraceEvent::Kind::Received, nowMs, frame.bytes, {}};
    switch (frame.kind) {
    case InboundKind::Command:
        event.verdict = QStringLiteral("checksum ok");
        Trace(event);
        HandleCommand(frame.text, nowMs);
        return;
    case InboundKind::ModemResult:
        event.verdict = QStringLiteral("modem result, no checksum");
        Trace(event);
        HandleModemResult(frame.text, nowMs);
        return;
    case InboundKind::BadChecksum:
        ++badChecksums_;
        event.verdict = QStringLiteral("checksum BAD (sum %1), ignored").arg(Hex2(frame.sum));
        Trace(event);
        return;
    case InboundKind::Malformed:
        event.verdict = QStringLiteral("no frame, ignored");
        Trace(event);
        return;
    }
}

void UnitModel::HandleModemResult(const QByteArray& text, qint64 nowMs) {
    if (config_.family == UnitFamily::Zel) {
        Note(nowMs, QStringLiteral("no modem on this unit, line ignored"));
        return;
    }
    commands_.append(text);
    if (commands_.size() > kMaxLogged) {
        commands_.removeFirst();
    }
    const UnitState before = state_;
    if (state_ == UnitState::ModemSetup && text == "OK") {
        if (setupStep_ == 0) {
            setupStep_ = 1;
            Enqueue(ModemCommandLine("ATH0"), true, nowMs + kModemAnswerDelayMs);
            setupDeadlineMs_ = lineFreeMs_ + kSetupRetryMs;
        } else {
            state_ = UnitState::Idle;
            setupDeadlineMs_ = -1;
        }
    } else if (text == "RING" && (state_ == UnitState::Idle || state_ == UnitState::Ringing)) {
        state_ = UnitState::Ringing;
    } else if (text == "CONNECT" && (state_ == UnitState::Idle || state_ == UnitState::Ringing)) {
        state_ = UnitState::Opening;
    } else if (text == "NO CARRIER" && state_ != UnitState::ModemSetup) {
        EndSession(nowMs);
    }
    if (state_ != before) {
        Note(nowMs, QStringLiteral("now %1").arg(UnitStateName(state_)));
    }
}

bool UnitModel::Listens(const QByteArray& text) const {
    switch (state_) {
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
        Note(nowMs, QStringLiteral("ignored while %1").arg(UnitStateName(state_)));
        return;
    }
    commands_.append(text);
    if (commands_.size() > kMaxLogged) {
        commands_.removeFirst();
    }
    const UnitState before = state_;
    const QByteArray body = Execute(text, nowMs);
    const qint64 earliest = nowMs + kReplyDelayMs;
    if (outbox_.size() >= static_cast<size_t>(kMaxQueuedFrames) ||
        lineFreeMs_ - earliest > kMaxBacklogMs) {
        ++droppedReplies_;
        Note(nowMs, QStringLiteral("reply dropped: %1 frames still waiting").arg(outbox_.size()));
    } else {
        Enqueue(ReplyFrame(body), false, earliest);
    }
    if (state_ != before) {
        Note(nowMs, QStringLiteral("now %1").arg(UnitStateName(state_)));
    }
}

void UnitModel::Enqueue(const QByteArray& bytes, bool modemLine, qint64 earliestMs) {
    const qint64 due = std::max(earliestMs, lineFreeMs_);
    outbox_.push_back({bytes, due});
    lineFreeMs_ =
        due + WireMs(bytes.size()) + (modemLine ? kGapAfterModemLineMs : kGapAfterReplyMs);
}

void UnitModel::Note(qint64 nowMs, const QString& text) {
    Trace({UnitTraceEvent::Kind::Note, nowMs, {}, text});
}

void UnitModel::Trace(UnitTraceEvent event) {
    trace_.append(std::move(event));
    if (trace_.size() > kMaxLogged) {
        trace_.removeFirst();
    }
}
