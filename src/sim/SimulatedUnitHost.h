#pragma once

#include "sim/FrameDamage.h"
#include "sim/UnitModel.h"
#include "sim/UnitTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>

// What a test or a program may read of a running unit; a copy taken under the
// host's lock.
struct UnitSnapshot {
    UnitState State = UnitState::Off;
    bool Connected = false;
    std::array<QByteArray, UnitModel::kLines> Lines; // 32 bytes each
    uint32_t Counter = 0;
    bool RecordScanRunning = false;
    int RecordScanCount = 0;
    QList<QByteArray> Commands; // accepted commands and modem result lines
    int BadChecksums = 0;       // commands received with a wrong checksum
    int BadChecksumsSent = 0;   // replies sent with a wrong checksum (bad-checksum, spoil-first)
    int DroppedReplies = 0;
    int FramesSent = 0;
    // Frames sent with each kind of damage, indexed by DamageKind.
    std::array<int, kDamageKinds> DamagedFrames{};
};

// One frame as it went out: the bytes on the line, its damage, when its first
// and last byte were written (steady clock, nanoseconds), and how late the
// unit's thread wrote its bytes at worst (a busy machine stalls the unit too).
struct SentFrameRecord {
    qint64 StartNs = 0;
    qint64 EndNs = 0;
    qint64 MaxLateUs = 0;
    QByteArray Bytes;
    FrameDamage Damage;
};

// Runs a UnitModel on its own thread behind a pseudo-terminal or a serial
// device. The thread never needs the caller's event loop, so a program that
// blocks its own thread while it collects a frame still gets its answer.
//
// Start, Stop and destruction belong to the thread that owns the host; while
// the unit runs, PowerOn, PowerOff and the read-only accessors may be called
// from any thread. The trace sink runs on the unit's thread, never under the
// host's lock, and is not called any more once Stop has returned.
class SimulatedUnitHost {
public:
    using TraceSink = std::function<void(const UnitTraceEvent&)>;
    using SentSink = std::function<void(const SentFrameRecord&)>;

    SimulatedUnitHost();
    ~SimulatedUnitHost(); // stops the thread and closes the line
    SimulatedUnitHost(const SimulatedUnitHost&) = delete;
    SimulatedUnitHost& operator=(const SimulatedUnitHost&) = delete;

    // Set before Start.
    void SetTraceSink(TraceSink sink);
    // Damages a share of the outgoing frames (none by default).
    void SetDamage(const DamageSettings& settings);
    // Told of every frame once its last byte is out, on the unit's thread.
    void SetSentSink(SentSink sink);

    // Opens a new pseudo-terminal and starts the unit behind it, still powered
    // off. *slavePath gets the device the checker opens. Paced: bytes leave at
    // the 9600 baud rate (about 1.04 ms each); unpaced: each frame at once.
    bool Start(UnitFamily family, int bits, bool paced, QString* slavePath, QString* error);
    bool Start(const UnitConfig& config, QString* slavePath, QString* error);
    // Starts the unit on a serial device (a real port or one end of a
    // pseudo-terminal pair) at 9600 baud 8N1.
    bool StartOnDevice(const QString& devicePath, const UnitConfig& config, QString* error);

    // Switches the unit on after delayMs; with 0 it is on when the call returns.
    void PowerOn(int delayMs = 0);
    void PowerOff();
    // Stops the thread and closes the line; the host may be started again.
    void Stop();

    bool IsRunning() const;
    // Why the thread ended on its own (the device went away), or empty.
    QString FailureText() const;

    UnitSnapshot Snapshot() const;
    QList<QByteArray> ReceivedCommands() const;
    bool Connected() const;
    UnitState State() const;
    QByteArray LineMemory(int line) const;

private:
    struct Worker;
    bool Launch(const UnitConfig& config, QString* error);
    std::unique_ptr<Worker> UnitWorker;
    TraceSink Sink;
    SentSink SentFrames;
    DamageSettings Damage;
};
