// zel-unit-sim: a simulated ZEL-03 unit for the checker, on a new
// pseudo-terminal or on a serial device (a second PC with a null-modem cable,
// or one end of a pseudo-terminal pair).

#include "sim/SimulatedUnitHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &c, 1);
}

void PrintToStderr(const QString& text) {
    std::fprintf(stderr, "zel-unit-sim: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zel-unit-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated ZEL-03 unit. Without --device it opens a new pseudo-terminal and prints\n"
        "the device the checker is to open on the first line of standard output."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Serial device to use instead of a new "
                                                   "pseudo-terminal (9600 baud 8N1)."),
                                    QStringLiteral("path"));
    const QCommandLineOption family(QStringLiteral("family"),
                                    QStringLiteral("ROM family: LUP, RAV or ZEL (default ZEL)."),
                                    QStringLiteral("name"), QStringLiteral("ZEL"));
    const QCommandLineOption bits(QStringLiteral("bits"),
                                  QStringLiteral("Bits of a monitor line in a scan: 32, 64, 128 "
                                                 "or 256 (default 256)."),
                                  QStringLiteral("n"), QStringLiteral("256"));
    const QCommandLineOption delay(QStringLiteral("power-on-delay"),
                                   QStringLiteral("Milliseconds before the unit is switched on "
                                                  "(default 0)."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption unpaced(QStringLiteral("unpaced"),
                                     QStringLiteral("Write each frame at once instead of at "
                                                    "9600 baud."));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Print every frame received and sent, with its "
                                                  "time and checksum verdict, on stderr."));
    parser.addOptions({device, family, bits, delay, unpaced, trace});
    parser.process(app);

    UnitConfig config;
    if (!ParseUnitFamily(parser.value(family), &config.Family)) {
        PrintToStderr(
            QStringLiteral("unknown family \"%1\" (LUP, RAV or ZEL)").arg(parser.value(family)));
        return 2;
    }
    bool ok = false;
    config.ScanBits = parser.value(bits).toInt(&ok);
    if (!ok || !IsValidScanBits(config.ScanBits)) {
        PrintToStderr(QStringLiteral("--bits takes 32, 64, 128 or 256"));
        return 2;
    }
    const int delayMs = parser.value(delay).toInt(&ok);
    if (!ok || delayMs < 0) {
        PrintToStderr(QStringLiteral("--power-on-delay takes a number of milliseconds"));
        return 2;
    }
    config.ByteTimeUs = parser.isSet(unpaced) ? 0 : kPacedByteTimeUs;

    SimulatedUnitHost host;
    if (parser.isSet(trace)) {
        host.SetTraceSink([](const UnitTraceEvent& event) {
            std::fprintf(stderr, "%s\n", qPrintable(FormatTraceEvent(event)));
        });
    }
    QString path;
    QString error;
    const bool started = parser.isSet(device)
                             ? host.StartOnDevice(parser.value(device), config, &error)
                             : host.Start(config, &path, &error);
    if (!started) {
        PrintToStderr(error);
        return 1;
    }
    if (parser.isSet(device)) {
        path = parser.value(device);
    } else {
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
    }
    PrintToStderr(
        QStringLiteral("%1 unit %2, %3 bits, on %4; Ctrl+C ends")
            .arg(UnitFamilyName(config.Family), QString::fromLatin1(UnitRomName(config.Family)))
            .arg(config.ScanBits)
            .arg(path));
    host.PowerOn(delayMs);

    // SIGINT and SIGTERM end the event loop, so the host closes the line.
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
    // A device that goes away ends the unit's thread; end the program then.
    int exitCode = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (!host.IsRunning()) {
            PrintToStderr(host.FailureText());
            exitCode = 1;
            QCoreApplication::quit();
        }
    });
    watch.start(200);
    app.exec();
    host.Stop();
    return exitCode;
}
