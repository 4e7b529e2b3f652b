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
    explicit Worker(const UnitConfig& config) : model(config) {}

    // Shared with the caller's thread, under `mutex`.
    mutable std::mutex mutex;
    UnitModel model;
    qint64 powerOnAtMs = -1;
    bool powerOffRequested = false;
    int framesSent = 0;
    QString failure;

    // Fixed once the thread runs.
    SerialEnd end;
    int wakeRead = -1;
    int wakeWrite = -1;
    Clock::time_point epoch = Clock::now();
    TraceSink sink;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    std::thread thread;

    // The thread's own writing state.
    std::deque<QByteArray> toWrite;
    qsizetype written = 0; // bytes of toWrite.front() already out
    bool started = false;  // toWrite.front() has been announced and timed
    Clock::time_point frameStart;
    bool blocked = false;

    qint64 NowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch).count();
    }
    void Wake() const {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = write(wakeWrite, &c, 1);
    }
    void Deliver(const QList<UnitTraceEvent>& events) const {
        if (sink) {
            for (const UnitTraceEvent& e : events) {
                sink(e);
            }
        }
    }
    void Fail(const QString& why) {
        {
            std::lock_guard lock(mutex);
            failure = why;
        }
        Deliver({{UnitTraceEvent::Kind::Note, NowMs(), {}, why}});
    }
    // Steps the model; returns the time of its next timer or -1.
    qint64 StepModel();
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
        std::lock_guard lock(mutex);
        const qint64 now = NowMs();
        if (powerOffRequested) {
            powerOffRequested = false;
            powerOnAtMs = -1;
            model.PowerOff(now);
            toWrite.clear();
            written = 0;
            started = false;
        }
        if (powerOnAtMs >= 0 && now >= powerOnAtMs) {
            powerOnAtMs = -1;
            model.PowerOn(now);
        }
        model.Tick(now);
        for (const QByteArray& frame : model.TakeDueFrames(now)) {
            toWrite.push_back(frame);
        }
        events = model.TakeTrace();
        wake = model.NextWakeMs();
        if (powerOnAtMs >= 0 && (wake < 0 || powerOnAtMs < wake)) {
            wake = powerOnAtMs;
        }
    }
    Deliver(events);
    return wake;
}

Clock::time_point SimulatedUnitHost::Worker::WriteDue() {
    const auto byteTime = std::chrono::microseconds(model.Config().byteTimeUs);
    while (!toWrite.empty()) {
        const QByteArray& frame = toWrite.front();
        const auto now = Clock::now();
        if (!started) {
            started = true;
            frameStart = now;
            const bool modemLine = frame.endsWith('\r');
            Deliver({{UnitTraceEvent::Kind::Sent, NowMs(), frame,
                      modemLine ? QStringLiteral("modem line") : QStringLiteral("reply")}});
        }
        qsizetype upTo = frame.size();
        if (byteTime.count() > 0) {
            const auto due = (now - frameStart) / byteTime + 1;
            upTo = std::min<qsizetype>(frame.size(), static_cast<qsizetype>(due));
        }
        if (upTo > written) {
            const ssize_t n =
                write(end.fd, frame.constData() + written, static_cast<size_t>(upTo - written));
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    blocked = errno == EAGAIN;
                    return {};
                }
                Fail(QStringLiteral("write failed: %1")
                         .arg(QString::fromLocal8Bit(strerror(errno))));
                stopRequested = true;
                return {};
            }
            blocked = n < upTo - written;
            written += n;
        }
        if (written < frame.size()) {
            if (blocked) {
                return {};
            }
            return frameStart + std::chrono::duration_cast<Clock::duration>(byteTime * written);
        }
        toWrite.pop_front();
        written = 0;
        started = false;
        std::lock_guard lock(mutex);
        ++framesSent;
    }
    return {};
}

bool SimulatedUnitHost::Worker::ReadInput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(end.fd, buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard lock(mutex);
            model.Receive(QByteArrayView(buffer, n), NowMs());
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
    while (!stopRequested) {
        const qint64 wakeMs = StepModel();
        const Clock::time_point nextByte = WriteDue();
        if (stopRequested) {
            break;
        }
        Clock::time_point deadline{};
        if (wakeMs >= 0) {
            deadline = epoch + std::chrono::milliseconds(wakeMs);
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
        pollfd fds[2] = {{end.fd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {wakeRead, POLLIN, 0}};
        if (ppoll(fds, 2, timeoutPtr, nullptr) < 0 && errno != EINTR) {
            Fail(QStringLiteral("poll failed"));
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLOUT) {
            blocked = false;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!ReadInput()) {
                break;
            }
        }
    }
    running = false;
}

SimulatedUnitHost::SimulatedUnitHost() = default;

SimulatedUnitHost::~SimulatedUnitHost() {
    Stop();
}

void SimulatedUnitHost::SetTraceSink(TraceSink sink) {
    sink_ = std::move(sink);
}

bool SimulatedUnitHost::Start(UnitFamily family, int bits, bool paced, QString* slavePath,
                              QString* error) {
    UnitConfig config;
    config.family = family;
    config.scanBits = bits;
    config.byteTimeUs = paced ? kPacedByteTimeUs : 0;
    return Start(config, slavePath, error);
}

bool SimulatedUnitHost::Start(const UnitConfig& config, QString* slavePath, QString* error) {
    Stop();
    SerialEnd end;
    if (!OpenPseudoTerminal(&end, error)) {
        return false;
    }
    worker_ = std::make_unique<Worker>(config);
    worker_->end = end;
    if (slavePath) {
        *slavePath = end.peerPath;
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
    worker_ = std::make_unique<Worker>(config);
    worker_->end = end;
    return Launch(config, error);
}

bool SimulatedUnitHost::Launch(const UnitConfig& config, QString* error) {
    if (!IsValidScanBits(config.scanBits)) {
        if (error) {
            *error =
                QStringLiteral("a line has 32, 64, 128 or 256 bits, not %1").arg(config.scanBits);
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
    worker_->wakeRead = pipeFds[0];
    worker_->wakeWrite = pipeFds[1];
    worker_->sink = sink_;
    worker_->epoch = Clock::now();
    worker_->running = true;
    worker_->thread = std::thread([w = worker_.get()] { w->Run(); });
    return true;
}

void SimulatedUnitHost::PowerOn(int delayMs) {
    if (!worker_) {
        return;
    }
    {
        std::lock_guard lock(worker_->mutex);
        worker_->powerOnAtMs = worker_->NowMs() + std::max(0, delayMs);
    }
    worker_->Wake();
}

void SimulatedUnitHost::PowerOff() {
    if (!worker_) {
        return;
    }
    {
        std::lock_guard lock(worker_->mutex);
        worker_->powerOffRequested = true;
    }
    worker_->Wake();
}

void SimulatedUnitHost::Stop() {
    if (!worker_) {
        return;
    }
    if (worker_->thread.joinable()) {
        worker_->stopRequested = true;
        worker_->Wake();
        worker_->thread.join();
    }
    CloseSerialEnd(&worker_->end);
    for (int fd : {worker_->wakeRead, worker_->wakeWrite}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    worker_.reset();
}

bool SimulatedUnitHost::IsRunning() const {
    return worker_ && worker_->running;
}

QString SimulatedUnitHost::FailureText() const {
    if (!worker_) {
        return {};
    }
    std::lock_guard lock(worker_->mutex);
    return worker_->failure;
}

UnitSnapshot SimulatedUnitHost::Snapshot() const {
    UnitSnapshot s;
    if (!worker_) {
        return s;
    }
    std::lock_guard lock(worker_->mutex);
    const UnitModel& m = worker_->model;
    s.state = m.State();
    s.connected = m.Connected();
    for (int line = 0; line < UnitModel::kLines; ++line) {
        s.lines[line] = m.Line(line);
    }
    s.counter = m.Counter(worker_->NowMs());
    s.recordScanRunning = m.RecordScanRunning();
    s.recordScanCount = m.RecordScanCount();
    s.commands = m.Commands();
    s.badChecksums = m.BadChecksumCount();
    s.droppedReplies = m.DroppedReplyCount();
    s.framesSent = worker_->framesSent;
    return s;
}

QList<QByteArray> SimulatedUnitHost::ReceivedCommands() const {
    return Snapshot().commands;
}

bool SimulatedUnitHost::Connected() const {
    return Snapshot().connected;
}

UnitState SimulatedUnitHost::State() const {
    return Snapshot().state;
}

QByteArray SimulatedUnitHost::LineMemory(int line) const {
    if (line < 0 || line >= UnitModel::kLines) {
        return {};
    }
    return Snapshot().lines[line];
}
