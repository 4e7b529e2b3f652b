// zel-unit-sim: a simulated ZEL-03 unit for the checker, on a new
// pseudo-terminal or on a serial device (a second PC with a null-modem cable,
// or one end of a pseudo-terminal pair).

#include "link/Frame.h"
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
    const QCommandLineOption damage(
        QStringLiteral("damage"),
        QStringLiteral("Damage this percentage of the frames sent (default 0): a flipped bit, "
                       "a dropped byte or pauses inside the frame, chosen at random."),
        QStringLiteral("percent"), QStringLiteral("0"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the damage choices (default 1)."),
                                  QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption pauseMs(QStringLiteral("pause-ms"),
                                     QStringLiteral("Length of each pause inside a damaged frame "
                                                    "(default 40; a frame pauses 1 to 3 times)."),
                                     QStringLiteral("ms"), QStringLiteral("40"));
    const QCommandLineOption frameLog(
        QStringLiteral("frame-log"),
        QStringLiteral("Append one line per frame sent to this file: start and end time "
                       "(steady clock, ns), length, reply code, the unit's worst lateness "
                       "in writing it (us) and its damage."),
        QStringLiteral("file"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Build the unit with a fault (repeatable): stuck-bit=N (monitor cell "
                       "N, 0..255, always reads 1; stuck-bit=N:0 or N:1 names the value, "
                       "a trailing @L, 1..4, sticks it on Line L only), "
                       "no-counter (no 24-bit counter: QG and QE are unknown commands), "
                       "bad-checksum=P (P % of the replies, 0..100, evenly spread, go out with "
                       "a wrong checksum), spoil-first=CODE (the first reply with code CODE, "
                       "e.g. QV, QB, QD, QG or Qf, goes out with a wrong checksum), "
                       "drop-lf-first=CODE (the first reply with code CODE goes out without "
                       "the LF after its closing CR), restart-on=CODE (the first command with "
                       "code CODE, e.g. QG or Q:, restarts the unit instead of being answered)."),
        QStringLiteral("fault"));
    parser.addOptions(
        {device, family, bits, delay, unpaced, trace, damage, seed, pauseMs, frameLog, fault});
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
    DamageSettings damageSettings;
    damageSettings.Percent = parser.value(damage).toDouble(&ok);
    if (!ok || damageSettings.Percent < 0 || damageSettings.Percent > 100) {
        PrintToStderr(QStringLiteral("--damage takes a percentage 0..100"));
        return 2;
    }
    damageSettings.Seed = parser.value(seed).toUInt(&ok);
    if (!ok) {
        PrintToStderr(QStringLiteral("--seed takes a whole number"));
        return 2;
    }
    damageSettings.PauseMs = parser.value(pauseMs).toInt(&ok);
    if (!ok || damageSettings.PauseMs < 0) {
        PrintToStderr(QStringLiteral("--pause-ms takes a number of milliseconds"));
        return 2;
    }

    for (const QString& faultText : parser.values(fault)) {
        QString why;
        if (!ParseUnitFault(faultText, &config.Faults, &why)) {
            PrintToStderr(QStringLiteral("--fault: %1").arg(why));
            return 2;
        }
    }

    SimulatedUnitHost host;
    host.SetDamage(damageSettings);
    std::FILE* frameLogFile = nullptr;
    if (parser.isSet(frameLog)) {
        frameLogFile = std::fopen(qPrintable(parser.value(frameLog)), "a");
        if (frameLogFile == nullptr) {
            PrintToStderr(QStringLiteral("cannot write %1").arg(parser.value(frameLog)));
            return 2;
        }
        host.SetSentSink([frameLogFile](const SentFrameRecord& r) {
            // A reply's code; a modem line, or a reply too short for one, has none.
            const Frame frame = ReadFrame(r.Bytes, LineDirection::FromUnit);
            const QByteArray code = frame.Kind == FrameKind::Reply && frame.Code.size() == 2
                                        ? frame.Code
                                        : QByteArray("-");
            std::fprintf(frameLogFile, "%lld %lld %lld %s %lld %s\t%s\n",
                         static_cast<long long>(r.StartNs), static_cast<long long>(r.EndNs),
                         static_cast<long long>(r.Bytes.size()), code.constData(),
                         static_cast<long long>(r.MaxLateUs),
                         qPrintable(DamageKindName(r.Damage.Kind).replace(' ', '_')),
                         qPrintable(DescribeDamage(r.Damage)));
            std::fflush(frameLogFile);
        });
    }
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
    for (const QString& faultText : parser.values(fault)) {
        PrintToStderr(QStringLiteral("fault: %1").arg(faultText));
    }
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
    const UnitSnapshot last = host.Snapshot();
    host.Stop();
    if (frameLogFile != nullptr) {
        std::fclose(frameLogFile);
    }
    if (damageSettings.Percent > 0) {
        const auto count = [&](DamageKind k) {
            return last.DamagedFrames[static_cast<std::size_t>(k)];
        };
        PrintToStderr(QStringLiteral("frames sent %1, damaged %2: flipped bit %3, dropped byte "
                                     "%4, pause %5")
                          .arg(last.FramesSent)
                          .arg(last.FramesSent - count(DamageKind::None))
                          .arg(count(DamageKind::FlippedBit))
                          .arg(count(DamageKind::DroppedByte))
                          .arg(count(DamageKind::Pause)));
    }
    if (config.Faults.BadChecksumPercent > 0 || !config.Faults.SpoilFirst.isEmpty()) {
        PrintToStderr(
            QStringLiteral("replies sent with a wrong checksum: %1").arg(last.BadChecksumsSent));
    }
    return exitCode;
}
