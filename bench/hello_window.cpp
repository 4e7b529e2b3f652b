// The smallest Qt window, the yardstick of the end-to-end figures: it prints
// the monotonic time at which its window is first exposed, then either ends
// or stays idle for the given seconds and prints its CPU share, its RSS and
// how late its timer ticks were served.
//   bench_hello            print the exposure time (µs) and end
//   bench_hello IDLE_S     also stay idle IDLE_S seconds
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "BenchProbes.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class Hello : public QLabel {
public:
    using QLabel::QLabel;
    bool Exposed = false;

protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!Exposed) {
            Exposed = true;
            std::printf("exposed_us %lld\n", static_cast<long long>(MonotonicUs()));
            std::fflush(stdout);
        }
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int idleS = argc > 1 ? std::atoi(argv[1]) : 0;
    Hello hello(QStringLiteral("hello"));
    hello.resize(200, 60);
    hello.show();
    if (idleS <= 0) {
        // Ends a moment after the first paint.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &app, [&] {
            if (hello.Exposed) {
                QApplication::quit();
            }
        });
        poll.start(1);
        return QApplication::exec();
    }
    // How late a precise timer is served every 240 ms: the delay that this
    // machine adds to any event, the yardstick for the checker's latencies.
    std::vector<double> lateness;
    long long dueUs = 0;
    QTimer tick;
    tick.setSingleShot(true);
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        const long long now = MonotonicUs();
        lateness.push_back(static_cast<double>(now - dueUs) / 1000.0);
        dueUs = now + 240000;
        tick.start(240);
    });
    dueUs = MonotonicUs() + 240000;
    tick.start(240);
    const CpuSample start = SampleCpu();
    QTimer::singleShot(idleS * 1000, &app, [&] {
        const CpuSample end = SampleCpu();
        std::printf("idle_cpu_percent %.3f\nrss_kib %lld\n", end.ProcessPercentSince(start),
                    static_cast<long long>(RssKib()));
        std::printf("tick_lateness_ms");
        for (double v : lateness) {
            std::printf(" %.3f", v);
        }
        std::printf("\n");
        QApplication::quit();
    });
    return QApplication::exec();
}
