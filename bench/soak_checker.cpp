// The real checker window (offscreen) on a real serial port for a long run:
// polls at 240 ms and switches between bit scan, record scan and "QA" polling
// at a fixed interval, as an operator would with the window's own handlers.
// Every frame the receive handler collects is written to a log: when its
// first and last byte were read (steady clock, ns), how many bytes it took and
// how many it discarded after it, and the verdict with its reason. The
// verdict is found again by feeding the collected bytes to the checker's own
// frame rules, so the checker itself is run unchanged.
//
//   soak_checker --device /dev/pts/N --seconds 1800 --switch-seconds 120 --log FILE
#include "FakeMessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"
#include "link/ReplyReceiver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What became of one collected frame, with the reason of a refusal.
struct Verdict {
    QString Result; // accepted, accepted_by_silence, checksum_error, rejected
    QString Reason;
    std::size_t Taken = 0; // bytes that belong to the frame; a batch read may hold more
};

// The verdict and its reason: r is the receiver's result after the byte at
// index `at`; a receiver still collecting took every byte and ended by silence.
Verdict JudgeTaken(const std::vector<uint8_t>& bytes, ReplyReceiver::Result r, int at,
                   ReplyReceiver& rx) {
    const auto hex = [](uint8_t b) { return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')); };
    switch (r) {
    case ReplyReceiver::Result::Accepted:
        return {QStringLiteral("accepted"), QStringLiteral("checksum_right")};
    case ReplyReceiver::Result::ChecksumError:
        return {QStringLiteral("checksum_error"), QStringLiteral("checksum_wrong")};
    case ReplyReceiver::Result::Rejected:
        if (at == 0) {
            return {QStringLiteral("rejected"), QStringLiteral("bad_first_byte_") + hex(bytes[0])};
        }
        if (at == 1) {
            return {QStringLiteral("rejected"), QStringLiteral("bad_second_byte")};
        }
        if (at >= CheckerState::kReceiveBufferSize) {
            return {QStringLiteral("rejected"), QStringLiteral("too_long")};
        }
        return {QStringLiteral("rejected"), QStringLiteral("no_lf_after_cr_at_%1").arg(at)};
    case ReplyReceiver::Result::Collecting:
        break;
    }
    // Every byte was taken without an ending: the frame ended by silence.
    if (rx.EndBySilence() == ReplyReceiver::Result::Accepted) {
        return {QStringLiteral("accepted_by_silence"),
                QStringLiteral("line_shape_without_checksum")};
    }
    return {QStringLiteral("rejected"), bytes.empty() ? QStringLiteral("silence_no_bytes")
                                                      : QStringLiteral("silence_incomplete")};
}

Verdict JudgeFrame(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> buffer(CheckerState::kReceiveBufferSize);
    ReplyReceiver rx(buffer.data(), static_cast<int>(buffer.size()));
    ReplyReceiver::Result r = ReplyReceiver::Result::Collecting;
    int at = -1;
    for (std::size_t i = 0; i < bytes.size() && r == ReplyReceiver::Result::Collecting; ++i) {
        r = rx.Feed(bytes[i]);
        at = static_cast<int>(i);
    }
    Verdict v = JudgeTaken(bytes, r, at, rx);
    v.Taken = static_cast<std::size_t>(rx.Count());
    return v;
}

// The serial control the window sees: a real port underneath, with every byte
// the receive handler reads noted down. A frame's collection ends with the
// discard of what waits behind it, or with the next frame's first bytes put
// back, so each discard or put-back closes one frame.
class RecordingSerial : public SerialControl {
public:
    RecordingSerial(PortNames names, std::FILE* log) : Inner(std::move(names)), Log(log) {
        connect(&Inner, &SerialControl::OnComm, this, [this] {
            SetCommEvent(Inner.CommEvent());
            emit OnComm();
        });
        connect(&Inner, &SerialControl::PortFault, this, [this](const QString& reason) {
            ++PortFaults;
            std::fprintf(Log, "# %lld port_fault %s\n", static_cast<long long>(NowNs()),
                         qPrintable(reason));
            std::fflush(Log);
            emit PortFault(reason);
        });
    }

    bool SetPortOpen(bool open) override {
        Inner.SetCommPort(CommPort());
        Inner.SetSettings(Settings());
        Inner.SetRThreshold(RThreshold());
        Inner.SetInputLen(InputLen());
        Inner.SetInputMode(InputMode());
        const bool ok = Inner.SetPortOpen(open);
        SetFailure(Inner.LastFailure(), Inner.LastError());
        return ok;
    }
    bool Reopen() override {
        const bool ok = Inner.Reopen();
        SetFailure(Inner.LastFailure(), Inner.LastError());
        return ok;
    }
    bool PortOpen() const override { return Inner.PortOpen(); }
    QString DeviceName() const override { return Inner.DeviceName(); }
    void Output(const QByteArray& bytes) override {
        ++Writes;
        Inner.Output(bytes);
    }
    int InBufferCount() override { return Inner.InBufferCount(); }
    void ClearInBuffer() override {
        const int waiting = Inner.InBufferCount();
        Inner.ClearInBuffer();
        Close(waiting);
    }
    int ReadWaiting(uint8_t* dst, int max) override {
        const int n = Inner.ReadWaiting(dst, max);
        Note(dst, n);
        return n;
    }
    void WaitForInput(int maxMs) override { Inner.WaitForInput(maxMs); }
    void PutBack(const QByteArray& bytes) override {
        // The bytes begin the next frame: this one ends without a discard,
        // and they are noted again when the next frame reads them.
        Bytes.resize(Bytes.size() - std::min(Bytes.size(), static_cast<std::size_t>(bytes.size())));
        Close(0);
        Inner.PutBack(bytes);
    }

    std::map<QString, int> Counts; // by result and reason
    int Frames = 0;
    int PortFaults = 0;
    int Writes = 0;
    qint64 DiscardedBytes = 0;

private:
    // Bytes handed to the receive handler, read at this moment.
    void Note(const uint8_t* bytes, int n) {
        if (n <= 0) {
            return;
        }
        const qint64 now = NowNs();
        if (Bytes.empty()) {
            FirstNs = now;
        } else {
            MaxGapNs = std::max(MaxGapNs, now - LastNs);
        }
        LastNs = now;
        Bytes.insert(Bytes.end(), bytes, bytes + n);
    }
    void Close(int discarded) {
        const qint64 end = NowNs();
        const Verdict v = JudgeFrame(Bytes);
        ++Frames;
        ++Counts[v.Result + QLatin1Char(' ') + v.Reason];
        // Bytes read in the same batch after the frame's end are dropped with it.
        discarded += static_cast<int>(Bytes.size() - v.Taken);
        DiscardedBytes += discarded;
        const QByteArray code = Bytes.size() >= 4 && Bytes[2] == 'Q'
                                    ? QByteArray(reinterpret_cast<const char*>(&Bytes[2]), 2)
                                    : QByteArray("-");
        // first_ns last_ns end_ns bytes discarded max_gap_ms code result reason
        std::fprintf(Log, "%lld %lld %lld %zu %d %.1f %s %s %s\n",
                     static_cast<long long>(Bytes.empty() ? end : FirstNs),
                     static_cast<long long>(Bytes.empty() ? end : LastNs),
                     static_cast<long long>(end), v.Taken, discarded,
                     static_cast<double>(MaxGapNs) / 1e6, code.constData(), qPrintable(v.Result),
                     qPrintable(v.Reason));
        std::fflush(Log);
        Bytes.clear();
        MaxGapNs = 0;
    }

    QtSerialControl Inner;
    std::FILE* Log;
    std::vector<uint8_t> Bytes;
    qint64 FirstNs = 0;
    qint64 LastNs = 0;
    qint64 MaxGapNs = 0;
};

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("The unit's line."),
                                    QStringLiteral("path"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of the run (default 1800)."),
                                     QStringLiteral("s"), QStringLiteral("1800"));
    const QCommandLineOption switchSeconds(
        QStringLiteral("switch-seconds"),
        QStringLiteral("Time in each polling mode before the next (default 120)."),
        QStringLiteral("s"), QStringLiteral("120"));
    const QCommandLineOption logFile(QStringLiteral("log"),
                                     QStringLiteral("File for one line per collected frame."),
                                     QStringLiteral("file"));
    parser.addOptions({device, seconds, switchSeconds, logFile});
    parser.process(app);
    if (!parser.isSet(device) || !parser.isSet(logFile)) {
        std::fprintf(stderr, "soak_checker: --device and --log are needed\n");
        return 2;
    }
    std::FILE* log = std::fopen(qPrintable(parser.value(logFile)), "w");
    if (log == nullptr) {
        std::fprintf(stderr, "soak_checker: cannot write %s\n", qPrintable(parser.value(logFile)));
        return 2;
    }

    PortNames names;
    names.Map(1, parser.value(device));
    RecordingSerial serial(names, log);
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.Form_Load();
    const int lampWrites0 = form.Label23->ColorWrites();
    if (!serial.PortOpen()) {
        std::fprintf(stderr, "soak_checker: %s does not open: %s\n",
                     qPrintable(parser.value(device)), qPrintable(serial.LastError()));
        return 1;
    }

    // The checker looks for a lost device itself; an operator who still sees
    // the port closed a few seconds later chooses it again.
    int reopenings = 0;
    boxes.OnBox = [&] {
        QTimer::singleShot(5000, &form, [&] {
            if (!serial.PortOpen()) {
                ++reopenings;
                form.mnuCOM_Click(1);
            }
        });
    };

    // Bit scan, record scan and "QA" polling in turn, each at 240 ms.
    const char* modeNames[3] = {"bit_scan", "record_scan", "q_command"};
    int mode = -1;
    const auto nextMode = [&] {
        mode = (mode + 1) % 3;
        switch (mode) {
        case 0:
            form.Option3(0)->SetValue(true); // R_Command
            form.Command2_Click(6);          // Stop: scan mode D, polling restarts at 400 ms
            break;
        case 1:
            form.Command2_Click(11); // Auto-F: record scan, scan mode F
            break;
        default:
            form.Option3(1)->SetValue(true); // Q_Command
            break;
        }
        form.menuT240_Click();
        std::fprintf(log, "# %lld mode %s\n", static_cast<long long>(NowNs()), modeNames[mode]);
        std::fflush(log);
    };
    nextMode();
    QTimer modeTimer;
    QObject::connect(&modeTimer, &QTimer::timeout, &form, nextMode);
    modeTimer.start(std::max(1, parser.value(switchSeconds).toInt()) * 1000);

    QTimer::singleShot(std::max(1, parser.value(seconds).toInt()) * 1000, &app,
                       &QCoreApplication::quit);
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
    app.exec();
    form.menuSPLstop_Click();
    std::fprintf(log, "# %lld stop\n", static_cast<long long>(NowNs()));

    std::printf("frames collected %d, commands written %d, bytes discarded after frames %lld, "
                "port faults %d, reopenings %d, boxes shown %lld\n",
                serial.Frames, serial.Writes, static_cast<long long>(serial.DiscardedBytes),
                serial.PortFaults, reopenings, static_cast<long long>(boxes.Shown.size()));
    int judged = 0;
    for (const auto& [what, n] : serial.Counts) {
        std::printf("  %-50s %d\n", qPrintable(what), n);
        judged += what.startsWith(QLatin1String("rejected")) ? 0 : n;
    }
    // The checksum lamp is set once for every accepted frame and every
    // checksum error: the window's own count of the verdicts found above.
    std::printf("checksum lamp set %d times; frames judged accepted or checksum error %d\n",
                form.Label23->ColorWrites() - lampWrites0, judged);
    std::fclose(log);
    return 0;
}
