#include "sim/SimulatedUnitHost.h"

#include "sim/SerialEnds.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

struct SimulatedUnitHost::Worker {
    explicit Worker(const UnitConfig& config) : Model(config) {}

    // Shared with the caller's thread, under `Mutex`.
    mutable std::mutex Mutex;
    UnitModel Model;
    qint64 PowerOnAtMs = -1;
    bool PowerOffRequested = false;
    int FramesSent = 0;
    std::array<int, kDamageKinds> DamagedFrames{};
    QString Failure;

    // Fixed once the thread runs.
    SerialEnd End;
    int WakeRead = -1;
    int WakeWrite = -1;
    Clock::time_point Epoch = Clock::now();
    TraceSink Sink;
    SentSink SentFrames;
    DamageSettings Damage;
    std::mt19937 DamageRandom;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Running{false};
    std::thread Thread;

    // The thread's own writing state.
    std::deque<OutgoingFrame> ToWrite;
    qsizetype Written = 0; // bytes of ToWrite.front() already out
    bool Started = false;  // ToWrite.front() has been announced and timed
    Clock::time_point FrameStart;
    Clock::duration FrameMaxLate{};       // worst lateness of a write in this frame
    Clock::time_point NextFrameNotBefore; // end of the quiet after the last frame
    bool Blocked = false;

    qint64 NowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Epoch).count();
    }
    void Wake() const {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = write(WakeWrite, &c, 1);
    }
    void Deliver(const QList<UnitTraceEvent>& events) const {
        if (Sink) {
            for (const UnitTraceEvent& e : events) {
                Sink(e);
            }
        }
    }
    void Fail(const QString& why) {
        {
            std::lock_guard lock(Mutex);
            Failure = why;
        }
        Deliver({{UnitTraceEvent::EventKind::Note, NowMs(), {}, why}});
    }
    // Steps the model; returns the time of its next timer or -1.
    qint64 StepModel();
    // When byte i of the frame being written is due: its place in the paced
    // stream plus the pauses before it.
    Clock::time_point ByteDue(const OutgoingFrame& frame, qsizetype i) const;
    // Writes what is due; returns when the next paced byte is due, or a
    // default time point when nothing waits for time.
    Clock::time_point WriteDue();
    bool ReadInput();
    void Run();
};

qint64 SimulatedUnitHost::Worker::StepModel() {
    QList<UnitTraceEvent> events;
    qint64 wake;
    {
        std::lock_guard lock(Mutex);
        const qint64 now = NowMs();
        if (PowerOffRequested) {
            PowerOffRequested = false;
            PowerOnAtMs = -1;
            Model.PowerOff(now);
            ToWrite.clear();
            Written = 0;
            Started = false;
        }
        if (PowerOnAtMs >= 0 && now >= PowerOnAtMs) {
            PowerOnAtMs = -1;
            Model.PowerOn(now);
        }
        Model.Tick(now);
        for (const QByteArray& frame : Model.TakeDueFrames(now)) {
            ToWrite.push_back(ApplyDamage(frame, ChooseDamage(frame.size(), Damage, DamageRandom)));
        }
        events = Model.TakeTrace();
        wake = Model.NextWakeMs();
        if (PowerOnAtMs >= 0 && (wake < 0 || PowerOnAtMs < wake)) {
            wake = PowerOnAtMs;
        }
    }
    Deliver(events);
    return wake;
}

Clock::time_point SimulatedUnitHost::Worker::ByteDue(const OutgoingFrame& frame,
                                                     qsizetype i) const {
    auto due = FrameStart + std::chrono::microseconds(Model.Config().ByteTimeUs * i);
    for (int at : frame.Damage.PauseAt) {
        if (at <= i) {
            due += std::chrono::milliseconds(frame.Damage.PauseMs);
        }
    }
    return due;
}

Clock::time_point SimulatedUnitHost::Worker::WriteDue() {
    while (!ToWrite.empty()) {
        const OutgoingFrame& frame = ToWrite.front();
        const QByteArray& bytes = frame.Bytes;
        const auto now = Clock::now();
        // A paused frame ends later than the model planned; the unit still
        // keeps its quiet after each frame, so the frames behind move back.
        // Only damaged runs pause, so a plain run keeps the model's timing.
        if (!Started && Damage.Percent > 0 && now < NextFrameNotBefore) {
            return NextFrameNotBefore;
        }
        if (!Started) {
            Started = true;
            FrameStart = now;
            FrameMaxLate = {};
            const bool modemLine = bytes.endsWith('\r');
            QString what = modemLine ? QStringLiteral("modem line") : QStringLiteral("reply");
            if (frame.Damage.Kind != DamageKind::None) {
                what += QStringLiteral(", damaged: ") + DescribeDamage(frame.Damage);
            }
            Deliver({{UnitTraceEvent::EventKind::Sent, NowMs(), bytes, what}});
        }
        qsizetype upTo = Written;
        while (upTo < bytes.size() && ByteDue(frame, upTo) <= now) {
            ++upTo;
        }
        if (upTo > Written) {
            FrameMaxLate = std::max(FrameMaxLate, now - ByteDue(frame, Written));
            const ssize_t n =
                write(End.Fd, bytes.constData() + Written, static_cast<size_t>(upTo - Written));
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    Blocked = errno == EAGAIN;
                    return {};
                }
                Fail(QStringLiteral("write failed: %1")
                         .arg(QString::fromLocal8Bit(strerror(errno))));
                StopRequested = true;
                return {};
            }
            Blocked = n < upTo - Written;
            Written += n;
        }
        if (Written < bytes.size()) {
            if (Blocked) {
                return {};
            }
            return ByteDue(frame, Written);
        }
        const SentFrameRecord record{
            std::chrono::duration_cast<std::chrono::nanoseconds>(FrameStart.time_since_epoch())
                .count(),
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count(),
            std::chrono::duration_cast<std::chrono::microseconds>(FrameMaxLate).count(), bytes,
            frame.Damage};
        const qint64 gapMs =
            bytes.endsWith('\r') ? UnitModel::kGapAfterModemLineMs : UnitModel::kGapAfterReplyMs;
        NextFrameNotBefore = Clock::now() + std::chrono::milliseconds(gapMs);
        ToWrite.pop_front();
        Written = 0;
        Started = false;
        {
            std::lock_guard lock(Mutex);
            ++FramesSent;
            ++DamagedFrames[static_cast<std::size_t>(record.Damage.Kind)];
        }
        if (SentFrames) {
            SentFrames(record);
        }
    }
    return {};
}

bool SimulatedUnitHost::Worker::ReadInput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(End.Fd, buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard lock(Mutex);
            Model.Receive(QByteArrayView(buffer, n), NowMs());
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return true;
        }
        Fail(n == 0
                 ? QStringLiteral("the line was closed")
                 : QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
}

void SimulatedUnitHost::Worker::Run() {
    while (!StopRequested) {
        const qint64 wakeMs = StepModel();
        const Clock::time_point nextByte = WriteDue();
        if (StopRequested) {
            break;
        }
        Clock::time_point deadline{};
        if (wakeMs >= 0) {
            deadline = Epoch + std::chrono::milliseconds(wakeMs);
        }
        if (nextByte != Clock::time_point{} &&
            (deadline == Clock::time_point{} || nextByte < deadline)) {
            deadline = nextByte;
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (deadline != Clock::time_point{}) {
            const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        pollfd fds[2] = {{End.Fd, static_cast<short>(POLLIN | (Blocked ? POLLOUT : 0)), 0},
                         {WakeRead, POLLIN, 0}};
        if (ppoll(fds, 2, timeoutPtr, nullptr) < 0 && errno != EINTR) {
            Fail(QStringLiteral("poll failed"));
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(WakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLOUT) {
            Blocked = false;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!ReadInput()) {
                break;
            }
        }
    }
    Running = false;
}

SimulatedUnitHost::SimulatedUnitHost() = default;

SimulatedUnitHost::~SimulatedUnitHost() {
    Stop();
}

void SimulatedUnitHost::SetTraceSink(TraceSink sink) {
    Sink = std::move(sink);
}

void SimulatedUnitHost::SetDamage(const DamageSettings& settings) {
    Damage = settings;
}

void SimulatedUnitHost::SetSentSink(SentSink sink) {
    SentFrames = std::move(sink);
}

bool SimulatedUnitHost::Start(UnitFamily family, int bits, bool paced, QString* slavePath,
                              QString* error) {
    UnitConfig config;
    config.Family = family;
    config.ScanBits = bits;
    config.ByteTimeUs = paced ? kPacedByteTimeUs : 0;
    return Start(config, slavePath, error);
}

bool SimulatedUnitHost::Start(const UnitConfig& config, QString* slavePath, QString* error) {
    Stop();
    SerialEnd end;
    if (!OpenPseudoTerminal(&end, error)) {
        return false;
    }
    UnitWorker = std::make_unique<Worker>(config);
    UnitWorker->End = end;
    if (slavePath) {
        *slavePath = end.PeerPath;
    }
    return Launch(config, error);
}

bool SimulatedUnitHost::StartOnDevice(const QString& devicePath, const UnitConfig& config,
                                      QString* error) {
    Stop();
    SerialEnd end;
    if (!OpenSerialDevice(devicePath, &end, error)) {
        return false;
    }
    UnitWorker = std::make_unique<Worker>(config);
    UnitWorker->End = end;
    return Launch(config, error);
}

bool SimulatedUnitHost::Launch(const UnitConfig& config, QString* error) {
    if (!IsValidScanBits(config.ScanBits)) {
        if (error) {
            *error =
                QStringLiteral("a line has 32, 64, 128 or 256 bits, not %1").arg(config.ScanBits);
        }
        Stop();
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error) {
            *error = QStringLiteral("pipe2: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        }
        Stop();
        return false;
    }
    UnitWorker->WakeRead = pipeFds[0];
    UnitWorker->WakeWrite = pipeFds[1];
    UnitWorker->Sink = Sink;
    UnitWorker->SentFrames = SentFrames;
    UnitWorker->Damage = Damage;
    UnitWorker->DamageRandom.seed(Damage.Seed);
    UnitWorker->Epoch = Clock::now();
    UnitWorker->Running = true;
    UnitWorker->Thread = std::thread([w = UnitWorker.get()] { w->Run(); });
    return true;
}

void SimulatedUnitHost::PowerOn(int delayMs) {
    if (!UnitWorker) {
        return;
    }
    {
        std::lock_guard lock(UnitWorker->Mutex);
        const qint64 now = UnitWorker->NowMs();
        if (delayMs <= 0) {
            // On at once, before the caller goes on: a command sent right
            // after this call finds the unit on, not still off.
            UnitWorker->PowerOnAtMs = -1;
            UnitWorker->Model.PowerOn(now);
        } else {
            UnitWorker->PowerOnAtMs = now + delayMs;
        }
    }
    UnitWorker->Wake();
}

void SimulatedUnitHost::PowerOff() {
    if (!UnitWorker) {
        return;
    }
    {
        std::lock_guard lock(UnitWorker->Mutex);
        UnitWorker->PowerOffRequested = true;
    }
    UnitWorker->Wake();
}

void SimulatedUnitHost::Stop() {
    if (!UnitWorker) {
        return;
    }
    if (UnitWorker->Thread.joinable()) {
        UnitWorker->StopRequested = true;
        UnitWorker->Wake();
        UnitWorker->Thread.join();
    }
    CloseSerialEnd(&UnitWorker->End);
    for (int fd : {UnitWorker->WakeRead, UnitWorker->WakeWrite}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    UnitWorker.reset();
}

bool SimulatedUnitHost::IsRunning() const {
    return UnitWorker && UnitWorker->Running;
}

QString SimulatedUnitHost::FailureText() const {
    if (!UnitWorker) {
        return {};
    }
    std::lock_guard lock(UnitWorker->Mutex);
    return UnitWorker->Failure;
}

UnitSnapshot SimulatedUnitHost::Snapshot() const {
    UnitSnapshot s;
    if (!UnitWorker) {
        return s;
    }
    std::lock_guard lock(UnitWorker->Mutex);
    const UnitModel& m = UnitWorker->Model;
    s.State = m.State();
    s.Connected = m.Connected();
    for (int line = 0; line < UnitModel::kLines; ++line) {
        s.Lines[line] = m.Line(line);
    }
    s.Counter = m.Counter(UnitWorker->NowMs());
    s.RecordScanRunning = m.RecordScanRunning();
    s.RecordScanCount = m.RecordScanCount();
    s.Commands = m.Commands();
    s.BadChecksums = m.BadChecksumCount();
    s.BadChecksumsSent = m.BadChecksumsSent();
    s.DroppedReplies = m.DroppedReplyCount();
    s.FramesSent = UnitWorker->FramesSent;
    s.DamagedFrames = UnitWorker->DamagedFrames;
    return s;
}

QList<QByteArray> SimulatedUnitHost::ReceivedCommands() const {
    return Snapshot().Commands;
}

bool SimulatedUnitHost::Connected() const {
    return Snapshot().Connected;
}

UnitState SimulatedUnitHost::State() const {
    return Snapshot().State;
}

QByteArray SimulatedUnitHost::LineMemory(int line) const {
    if (line < 0 || line >= UnitModel::kLines) {
        return {};
    }
    return Snapshot().Lines[line];
}
