// Figures for the bit monitor: the refresh after a scan with 0, 16 or 256
// changed cells, with and without the paint that brings the cells to the
// window's buffer. The window runs offscreen unless a platform is chosen.
#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "core/Form1.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

struct Window {
    FakeSerialControl Serial;
    FakeMessageBoxes Boxes;
    Form1 Form{&Serial, &Boxes};

    Window() {
        Form.Form_Load();
        Form.show();
        if (!QTest::qWaitForWindowExposed(&Form)) {
            std::fprintf(stderr, "the window was not shown\n");
        }
        Settle();
    }
    // Runs the repaints that are due now, as the event loop would.
    static void Settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
};

// Each pass flips the bits of the first `changed` cells of line 0 and
// refreshes; with `paint` the due repaint runs too.
void Refresh(benchmark::State& state, bool paint) {
    Window w;
    const int changed = static_cast<int>(state.range(0));
    int16_t bit = 0;
    const qint64 painted0 = w.Form.Monitor->CellsPainted();
    for (auto _ : state) {
        bit = static_cast<int16_t>(1 - bit);
        for (int i = 0; i < changed; ++i) {
            w.Form.State.ScanBits[static_cast<std::size_t>(i * (256 / std::max(changed, 1)))] = bit;
        }
        w.Form.RefreshMonitor();
        if (paint) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        }
    }
    Window::Settle();
    state.counters["cells_painted"] =
        benchmark::Counter(static_cast<double>(w.Form.Monitor->CellsPainted() - painted0),
                           benchmark::Counter::kAvgIterations);
}

void RefreshOnly(benchmark::State& state) {
    Refresh(state, false);
}
void RefreshAndPaint(benchmark::State& state) {
    Refresh(state, true);
}
BENCHMARK(RefreshOnly)->Arg(0)->Arg(16)->Arg(256);
BENCHMARK(RefreshAndPaint)->Arg(0)->Arg(16)->Arg(256);

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
