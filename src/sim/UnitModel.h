#pragma once

#include "sim/CommandReceiver.h"
#include "sim/UnitRecords.h"
#include "sim/UnitTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>

// Where a unit stands in its life. The ZEL family goes from Off straight to
// Online; LUP and RAV first set their modem up, then wait on-hook (Idle, where
// they answer only the version request) until RING, CONNECT and their opening
// commands put them Online; NO CARRIER or "QF" returns them to Idle.
enum class UnitState { Off, ModemSetup, Idle, Ringing, Opening, Online };
QString UnitStateName(UnitState state);

struct UnitTraceEvent {
    enum class EventKind { Received, Sent, Note };
    EventKind Kind = EventKind::Note;
    qint64 Ms = 0;
    QByteArray Bytes;
    QString Verdict; // checksum verdict of a received frame, or the note
};
// One trace line in the format the checker's trace uses (see FormatTraceLine),
// on the unit's side.
QString FormatTraceEvent(const UnitTraceEvent& event);

// The ZEL-03 unit without any port: bytes in, timed frames out.
//
// Every reply is queued with the time it may start. Frames are spaced so that
// a receiver that ends each frame at its checksum, or after 60 ms of quiet for
// lines without checksum, and then discards what is still waiting, loses
// nothing: a reply starts kReplyDelayMs after its command, and the next frame
// no earlier than the previous one's wire time plus kGapAfterReplyMs (or
// kGapAfterModemLineMs after a modem line). The unit answers each accepted
// command once; it sends nothing unasked except its modem set-up lines. When
// commands come faster than the line carries the replies (a 256-cell "QD"
// reply takes 275 ms at 9600 baud), replies that would wait too long are
// dropped rather than delivered ever later.
class UnitModel {
public:
    static constexpr qint64 kBootMs = 300;              // power-on to the first set-up line
    static constexpr qint64 kReplyDelayMs = 5;          // end of a command to its reply
    static constexpr qint64 kGapAfterReplyMs = 40;      // quiet after a checksummed frame
    static constexpr qint64 kGapAfterModemLineMs = 150; // quiet after a modem line
    static constexpr qint64 kModemAnswerDelayMs = 100;  // "OK" to the next set-up line
    static constexpr qint64 kSetupRetryMs = 5000;       // set-up restarts without an answer
    static constexpr int kMaxQueuedFrames = 8;          // replies beyond are dropped,
    static constexpr qint64 kMaxBacklogMs = 1000;       // as are replies booked this far ahead
    static constexpr int kCounterPerSecond = 100;       // rate of the 24-bit counter
    static constexpr int kLines = 4;
    static constexpr int kLineBytes = 32;
    static constexpr int kMaxLogged = 20000; // commands and trace events kept

    explicit UnitModel(UnitConfig config = {});
    const UnitConfig& Config() const { return Settings; }

    // Power-on resets the memory, the counter and the record scan.
    void PowerOn(qint64 nowMs);
    void PowerOff(qint64 nowMs);
    void Receive(QByteArrayView bytes, qint64 nowMs);
    // Runs the unit's timers: set-up retries and stale input.
    void Tick(qint64 nowMs);
    // Frames whose time has come, in order; each must be written whole.
    QList<QByteArray> TakeDueFrames(qint64 nowMs);
    // When the unit next has something to do (a frame or a timer), or -1.
    qint64 NextWakeMs() const;
    QList<UnitTraceEvent> TakeTrace();

    UnitState State() const { return CurrentState; }
    bool Connected() const { return CurrentState == UnitState::Online; }
    QByteArray Line(int line) const; // 32 bytes, cell 8c + b in bit b of byte c
    bool Bit(int line, int cell) const;
    uint32_t Counter(qint64 nowMs) const;
    bool RecordScanRunning() const { return ScanRunning; }
    int RecordScanCount() const { return ScanCount; }
    // The record "Qf" returns for index `index` at this moment.
    UnitRecord Record(int index, qint64 nowMs) const;
    // Accepted commands (code and arguments) and modem result lines, in order.
    const QList<QByteArray>& Commands() const { return CommandLog; }
    int BadChecksumCount() const { return BadChecksums; }
    // Replies the unit sent with a wrong checksum on purpose (the bad-checksum
    // and spoil-first faults).
    int BadChecksumsSent() const { return SpoiledReplies; }
    int DroppedReplyCount() const { return DroppedReplies; }
    int QueuedFrameCount() const { return static_cast<int>(Outbox.size()); }
    // Wire time of a number of bytes, rounded up to whole ms.
    qint64 WireMs(qsizetype bytes) const;

private:
    struct Pending {
        QByteArray Bytes;
        qint64 DueMs = 0;
    };

    void HandleFrame(const InboundFrame& frame, qint64 nowMs);
    void HandleModemResult(const QByteArray& text, qint64 nowMs);
    void HandleCommand(const QByteArray& text, qint64 nowMs);
    bool Listens(const QByteArray& text) const;
    void LogCommand(const QByteArray& text);
    // Carries out a command; returns the reply body (defined in UnitCommands.cpp).
    QByteArray Execute(const QByteArray& text, qint64 nowMs);
    QByteArray WriteLine(QByteArrayView args);
    QByteArray WriteBit(QByteArrayView args);
    QByteArray WriteHalfRow(QByteArrayView args);
    QByteArray SetRecordScan(QByteArrayView text, qint64 nowMs);
    QByteArray RecordReply(QByteArrayView args, qint64 nowMs) const;
    QByteArray LineReply(QByteArrayView args) const;
    QByteArray CellReply() const;
    // The line and the bit as the unit reports them: memory as written, but
    // for a stuck cell, which reads its stuck value.
    bool IsStuck(int line, int cell) const;
    QByteArray ReportedLine(int line) const;
    bool ReportedBit(int line, int cell) const;
    // The frame of a reply body; the bad-checksum and spoil-first faults spoil
    // its checksum, the drop-lf-first fault takes the LF after its closing CR.
    QByteArray OutgoingReply(QByteArrayView body, qint64 nowMs);
    QByteArray SensorReply(QByteArrayView text, qint64 nowMs) const;

    void StartModemSetup(qint64 earliestMs);
    void StopRecordScan(qint64 nowMs);
    void EndSession(qint64 nowMs);
    void Enqueue(const QByteArray& bytes, bool modemLine, qint64 earliestMs);
    void Note(qint64 nowMs, const QString& text);
    void Trace(UnitTraceEvent event);
    qint64 UnitMs(qint64 nowMs) const { return nowMs - PowerOnMs; }

    UnitConfig Settings;
    UnitState CurrentState = UnitState::Off;
    CommandReceiver Receiver;
    std::deque<Pending> Outbox;
    qint64 LineFreeMs = 0; // earliest start of the next frame
    qint64 PowerOnMs = 0;
    int SetupStep = 0; // 0: "AT&F" sent, 1: "ATH0" sent
    qint64 SetupDeadlineMs = -1;
    std::array<std::array<uint8_t, kLineBytes>, kLines> LineMemory{};
    qint64 CounterStartMs = 0;
    bool ScanRunning = false;
    bool ScanSampled = false; // the scan has run since power-on
    int ScanCount = 0;
    qint64 ScanStoppedMs = 0;
    QList<QByteArray> CommandLog;
    QList<UnitTraceEvent> TraceLog;
    int BadChecksums = 0;
    int DroppedReplies = 0;
    qint64 RepliesSent = 0; // checksummed replies queued since power-on
    int SpoiledReplies = 0;
    bool RestartedOnce = false;    // the restart-on fault has struck (kept over power-on)
    QByteArrayList SpoiledCodes;   // reply codes spoiled once since power-on
    QByteArrayList LfDroppedCodes; // reply codes sent once without the closing LF
};
