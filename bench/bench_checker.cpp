// Figures for the checker's hot paths: frame reception (pure), the monitor
// refresh, and the CPU the window thread spends while a unit's replies arrive
// paced at 9600 baud on a pseudo-terminal. Prints figures; asserts nothing.
#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "PseudoTerminal.h"
#include "core/Form1.h"
#include "link/FrameCollector.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <thread>
#include <time.h>

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

QByteArray QdReply(int seed) {
    QByteArray cells;
    for (int i = 0; i < 256; ++i) {
        cells += "0123456789ABCDEF"[(i * 7 + seed) & 15];
    }
    return FakeSerialControl::Reply("QD" + cells);
}

void ReceiverThroughput() {
    const QByteArray frame = QdReply(1);
    std::vector<uint8_t> buffer(CheckerState::kReceiveBufferSize);
    const int rounds = 20000;
    QElapsedTimer t;
    t.start();
    int accepted = 0;
    for (int r = 0; r < rounds; ++r) {
        ReplyReceiver rx(buffer.data(), static_cast<int>(buffer.size()));
        ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
        for (char c : frame) {
            result = rx.Feed(static_cast<uint8_t>(c));
        }
        accepted += result == ReplyReceiver::Result::Accepted ? 1 : 0;
    }
    const double ns = static_cast<double>(t.nsecsElapsed());
    std::printf("receiver: %d frames of %lld bytes, %.1f ns/byte, %.0f frames/s (accepted %d)\n",
                rounds, static_cast<long long>(frame.size()),
                ns / (rounds * static_cast<double>(frame.size())), rounds / (ns / 1e9), accepted);
}

void MonitorRefresh() {
    FakeSerialControl serial;
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.Form_Load();
    const int rounds = 200;
    QElapsedTimer t;
    t.start();
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < 256; ++i) {
            form.State.ScanBits[static_cast<std::size_t>(i)] = static_cast<int16_t>((i + r) & 1);
        }
        form.RefreshMonitor();
    }
    const double changedMs = static_cast<double>(t.nsecsElapsed()) / 1e6 / rounds;
    t.restart();
    for (int r = 0; r < rounds; ++r) {
        form.RefreshMonitor();
    }
    const double sameMs = static_cast<double>(t.nsecsElapsed()) / 1e6 / rounds;
    std::printf(
        "monitor refresh: %.3f ms with all 256 cells changed, %.4f ms for an identical scan\n",
        changedMs, sameMs);
}

void PacedReceptionCpu() {
    PtyPeer peer;
    if (!peer.Ok()) {
        std::printf("paced reception: no pseudo-terminal available\n");
        return;
    }
    PortNames names;
    names.Map(1, peer.SlaveName);
    QtSerialControl serial(names);
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.Form_Load();
    const int frames = 15;
    std::thread unit([&peer] {
        for (int f = 0; f < frames; ++f) {
            peer.WritePaced(QdReply(f));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    QElapsedTimer wall;
    wall.start();
    const int lampWrites0 = form.Label23->ColorWrites();
    const double cpu0 = ThreadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(frames * 400 + 500, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuMs = ThreadCpuMs() - cpu0;
    unit.join();
    std::printf(
        "paced reception: %d frames of 264 bytes at 9600 baud, %d accepted, in %lld ms wall; "
        "window thread %.0f ms CPU (%.1f %% of a core)\n",
        frames, form.Label23->ColorWrites() - lampWrites0, static_cast<long long>(wall.elapsed()),
        cpuMs, 100.0 * cpuMs / static_cast<double>(wall.elapsed()));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ReceiverThroughput();
    MonitorRefresh();
    PacedReceptionCpu();
    return 0;
}
