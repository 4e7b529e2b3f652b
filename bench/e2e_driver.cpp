// The checker's window with its real serial port, driven as an operator would
// drive it, for the end-to-end figures that bench/e2e.py gathers:
//
//   bench_e2e poll DEVICE MODE SECONDS [CLICKS]
//       The unit (zel-unit-sim) on DEVICE; MODE is stopped, QB, Qf or QA.
//       Polls at 240 ms for SECONDS and prints the window thread's and the
//       process's CPU share, voluntary context switches and read calls per
//       received byte, and the RSS at the end. With CLICKS, clicks that many
//       monitor cells from another thread at random moments (as the window
//       system would deliver them) and prints each click -> command time.
//   bench_e2e latency CHANGED REPLIES
//       Plays a unit itself on a pseudo-terminal: REPLIES bit scans of line 0
//       at 9600 baud, 240 ms apart, each changing CHANGED cells (16 or 256),
//       and prints, for each, the time from the last byte written to the end
//       of the monitor's paint.
//
// Output: one "name value" line per figure; lists as "name v1 v2 ...".
#include "BenchProbes.h"
#include "FakeMessageBoxes.h"
#include "PseudoTerminal.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// The real port, with the moments the checker hands a bit write to it and the
// bytes it takes from it.
class TimedSerial : public QtSerialControl {
public:
    using QtSerialControl::QtSerialControl;
    std::vector<long long> BitWritesUs;
    long long BytesTaken = 0;

    void Output(const QByteArray& bytes) override {
        QtSerialControl::Output(bytes);
        if (bytes.contains("QW")) {
            BitWritesUs.push_back(MonotonicUs());
        }
    }
    int ReadWaiting(uint8_t* dst, int max) override {
        const int n = QtSerialControl::ReadWaiting(dst, max);
        BytesTaken += n > 0 ? n : 0;
        return n;
    }
};

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void PrintList(const char* name, const std::vector<double>& values) {
    std::printf("%s", name);
    for (double v : values) {
        std::printf(" %.3f", v);
    }
    std::printf("\n");
}

// A left click on a monitor cell as the window system delivers it.
void ClickCell(Form1& form, int cell) {
    const QPointF at = form.Monitor->CellCenter(cell);
    const QPointF global = form.Monitor->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(form.Monitor, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(form.Monitor, &release);
}

int Poll(const QString& device, const QString& mode, int seconds, int clicks) {
    PortNames names;
    names.Map(1, device);
    TimedSerial serial(names);
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.show();
    form.Form_Load();
    // Connected once the version reply has named the ROM.
    QElapsedTimer waited;
    waited.start();
    while (form.Label2(1)->Caption().isEmpty() && waited.elapsed() < 5000) {
        Pump(20);
    }
    if (form.Label2(1)->Caption().isEmpty()) {
        std::fprintf(stderr, "no version reply from the unit on %s\n", qPrintable(device));
        return 1;
    }
    if (mode == QLatin1String("Qf")) {
        form.Command2_Click(11); // Auto-F
    } else if (mode == QLatin1String("QA")) {
        form.Option3(1)->SetValue(true); // Q_Command
    }
    if (mode != QLatin1String("stopped")) {
        form.menuT240_Click();
    }
    Pump(1000); // the first replies and the first repaint are not measured

    const int lamp0 = form.Label23->ColorWrites();
    const long long bytes0 = serial.BytesTaken;
    const CpuSample start = SampleCpu();

    std::vector<long long> clickUs;
    std::mutex clickMutex;
    std::atomic<bool> stop{false};
    std::thread clicker;
    const std::size_t writes0 = serial.BitWritesUs.size();
    if (clicks > 0) {
        clicker = std::thread([&] {
            std::mt19937 random(12345);
            std::uniform_int_distribution<int> pause(150, 450);
            std::uniform_int_distribution<int> cellOf(0, 255);
            for (int i = 0; i < clicks && !stop; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
                const int cell = cellOf(random);
                {
                    std::lock_guard lock(clickMutex);
                    clickUs.push_back(MonotonicUs());
                }
                QMetaObject::invokeMethod(&form, [&form, cell] { ClickCell(form, cell); });
            }
        });
    }
    Pump(seconds * 1000);
    const CpuSample end = SampleCpu();
    stop = true;
    if (clicker.joinable()) {
        clicker.join();
    }
    Pump(200); // clicks still queued reach the line

    const int frames = form.Label23->ColorWrites() - lamp0;
    const long long bytes = serial.BytesTaken - bytes0;
    std::printf("mode %s\n", qPrintable(mode));
    std::printf("seconds %.3f\n", (end.WallUs - start.WallUs) / 1e6);
    std::printf("frames %d\n", frames);
    std::printf("bytes %lld\n", bytes);
    std::printf("bytes_since_start %lld\n", serial.BytesTaken);
    std::printf("window_thread_cpu_percent %.3f\n", end.ThreadPercentSince(start));
    std::printf("process_cpu_percent %.3f\n", end.ProcessPercentSince(start));
    if (bytes > 0) {
        const double b = static_cast<double>(bytes);
        std::printf("thread_voluntary_switches_per_byte %.3f\n",
                    (end.ThreadVoluntarySwitches - start.ThreadVoluntarySwitches) / b);
        std::printf("process_voluntary_switches_per_byte %.3f\n",
                    (end.ProcessVoluntarySwitches - start.ProcessVoluntarySwitches) / b);
        std::printf("read_calls_per_byte %.3f\n", (end.ReadCalls - start.ReadCalls) / b);
    }
    std::printf("rss_kib %lld\n", RssKib());
    if (clicks > 0) {
        std::vector<double> latencies;
        std::lock_guard lock(clickMutex);
        for (std::size_t i = 0; i < clickUs.size() && writes0 + i < serial.BitWritesUs.size();
             ++i) {
            latencies.push_back((serial.BitWritesUs[writes0 + i] - clickUs[i]) / 1000.0);
        }
        std::printf("clicks %zu sent %zu\n", clickUs.size(), serial.BitWritesUs.size() - writes0);
        PrintList("click_to_command_ms", latencies);
    }
    std::printf("message_boxes %lld\n", static_cast<long long>(boxes.Shown.size()));
    return 0;
}

// A "QB" reply for line 0 whose first `changed` cells flip with `phase`.
QByteArray ScanReply(int changed, int phase) {
    QByteArray digits(64, '0');
    if (changed >= 256) {
        digits.fill(phase != 0 ? 'F' : '0');
    } else {
        // Four digits of four cells each, spread over the grid.
        for (int k = 0; k < changed / 4; ++k) {
            digits[k * 64 / (changed / 4)] = phase != 0 ? 'F' : '0';
        }
    }
    const QByteArray body = "\r\nQB0" + digits + "\r\n";
    int sum = 0;
    for (char c : body) {
        sum += static_cast<unsigned char>(c);
    }
    return body + QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}

int Latency(int changed, int replies) {
    PtyPeer peer;
    if (!peer.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    PortNames names;
    names.Map(1, peer.SlaveName);
    QtSerialControl serial(names);
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.show();
    form.Form_Load();
    std::vector<long long> paintsUs;
    QObject::connect(form.Monitor, &BitMonitor::Painted, &form,
                     [&paintsUs] { paintsUs.push_back(MonotonicUs()); });
    Pump(500);
    (void)peer.ReadFor(10); // the start-up version request

    std::vector<std::atomic<long long>> lastByteUs(static_cast<std::size_t>(replies));
    const CpuSample start = SampleCpu();
    std::thread unit([&] {
        auto slot = std::chrono::steady_clock::now();
        for (int r = 0; r < replies; ++r) {
            const QByteArray frame = ScanReply(changed, r & 1);
            auto next = std::chrono::steady_clock::now();
            for (qsizetype i = 0; i + 1 < frame.size(); ++i) {
                (void)::write(peer.Master, frame.constData() + i, 1);
                next += std::chrono::microseconds(1042);
                std::this_thread::sleep_until(next);
            }
            // Timed before the write: once the byte is out the window thread
            // may paint before this thread runs again.
            lastByteUs[static_cast<std::size_t>(r)] = MonotonicUs();
            (void)::write(peer.Master, frame.constData() + frame.size() - 1, 1);
            slot += std::chrono::milliseconds(240);
            std::this_thread::sleep_until(slot);
        }
    });
    while (true) {
        Pump(50);
        if (lastByteUs.back() != 0) {
            Pump(200);
            break;
        }
    }
    unit.join();
    const CpuSample end = SampleCpu();

    std::vector<double> latencies;
    int missed = 0;
    for (int r = 1; r < replies; ++r) { // the first reply paints the whole grid
        const long long t = lastByteUs[static_cast<std::size_t>(r)];
        auto it = std::upper_bound(paintsUs.begin(), paintsUs.end(), t);
        if (it == paintsUs.end() || *it - t > 200000) {
            ++missed;
            continue;
        }
        latencies.push_back((*it - t) / 1000.0);
    }
    std::printf("changed %d\nreplies %d\nmissed %d\n", changed, replies - 1, missed);
    std::printf("window_thread_cpu_percent %.3f\n", end.ThreadPercentSince(start));
    PrintList("last_byte_to_paint_ms", latencies);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("poll")) {
        return Poll(args[2], args[3], args[4].toInt(), args.size() > 5 ? args[5].toInt() : 0);
    }
    if (args.size() >= 4 && args[1] == QLatin1String("latency")) {
        return Latency(args[2].toInt(), args[3].toInt());
    }
    std::fprintf(stderr, "usage: bench_e2e poll DEVICE MODE SECONDS [CLICKS]\n"
                         "       bench_e2e latency CHANGED REPLIES\n");
    return 2;
}
