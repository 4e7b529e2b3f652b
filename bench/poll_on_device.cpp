// The checker's window, offscreen, on a serial device, polling at a chosen
// period for a while; prints what the operator would have seen: whether the
// port stayed open, the notices shown, the frames accepted and rejected.
// Used by the scripts in this folder to watch the checker from outside
// (strace, CPU sampling). Asserts nothing.
#include "FakeMessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: poll_on_device DEVICE SECONDS [PERIOD_MS]\n");
        return 2;
    }
    const int seconds = args[2].toInt();
    const int period = args.size() > 3 ? args[3].toInt() : 240;

    PortNames names;
    names.Map(1, args[1]);
    QtSerialControl serial(names);
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.Form_Load();
    std::printf("pid %lld, port %s\n", static_cast<long long>(QApplication::applicationPid()),
                serial.PortOpen() ? "open" : "closed");
    std::fflush(stdout);
    const int lampWrites0 = form.Label23->ColorWrites();
    QTimer::singleShot(1500, &form, [&form, period] {
        if (period == 240) {
            form.menuT240_Click();
        } else if (period == 1000) {
            form.menuT1000_Click();
        }
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    // The Csum lamp is set once for every frame that ends with a checksum
    // verdict: accepted (light blue) or damaged (red).
    std::printf("port %s, notices %lld, connected %d, frames judged %d\n",
                serial.PortOpen() ? "open" : "closed", static_cast<long long>(boxes.Shown.size()),
                int(form.State.Connected), form.Label23->ColorWrites() - lampWrites0);
    for (const auto& box : boxes.Shown) {
        std::printf("notice: %s\n", qPrintable(box.Text));
    }
    return serial.PortOpen() && boxes.Shown.isEmpty() ? 0 : 1;
}
