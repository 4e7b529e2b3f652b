// zel_checker: the bench checker for ZEL-03 units on a serial port.
#include "Demo.h"
#include "checks/UnitCheck.h"
#include "controls/MessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"
#include "sim/SimulatedUnitHost.h"
#include "trace/LogFiles.h"
#include "trace/OutputFile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMetaObject>
#include <QPointer>

#include <cstdio>
#include <memory>

namespace {

// The exit statuses, after the sysexits convention for the last two.
constexpr int kExitUsage = 64;     // an unknown option, a bad or missing value
constexpr int kExitCantWrite = 74; // a trace, record or report file could not be written

// Printed after the options by --help, and made into the man page's sections
// of the same names.
const char* const kHelpEpilogue = R"(
Exit status:
  0    the unit check passed (every step passed or was skipped); a session in
       the window ended normally
  1    a step of the unit check failed; or the window could not start
  2    the port could not be opened (in use, does not exist, no permission),
       or no unit answered, also after Restart
  64   the command line was refused: an unknown option, a bad or missing
       value, an option that needs another one
  74   a trace, record or report file could not be written, at the start or
       later (disk full, folder removed): its message is on standard error and
       the unit check fails with it

Examples:
  $ zel_checker --port COM1=/dev/ttyUSB0 --check-unit --report unit-0412.json
  checks the unit on /dev/ttyUSB0, prints the verdict of each step and writes
  the report; the exit status says pass (0), fail (1) or no unit (2).

  $ zel_checker --port COM1=/dev/ttyUSB0 --trace bench.trace --record units.csv
  a bench session in the window with each frame of the line in bench.trace
  and each row of the unit table in units.csv.

  $ zel_checker --simulate --sim-fault stuck-bit=37 --check-unit
  a unit check against a simulated unit with a stuck bit, without hardware.

Serial ports:
  A user who opens serial ports must be in the dialout group: sudo usermod
  -aG dialout $USER, then log in again. Otherwise the port is refused with
  "no permission".
)";

struct Options {
    PortNames Names;
    bool Simulate = false;
    UnitFamily Family = UnitFamily::Lup;
    UnitFaults Faults;
    QString Screenshot;
    bool TraceOn = false;
    QString TraceFile; // empty: standard error
    QString RecordFile;
    bool CheckUnit = false;
    QString ReportFile;
    UnitCheckOptions Check;
};

// "--simulate" and "--trace" take their value after "=" or as the next word;
// without one (the next word is another option, or there is none) they mean
// the LUP family and standard error. Returns the arguments with each value
// joined to its option by "=".
QStringList JoinOptionalValues(QStringList arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString& argument = arguments[i];
        if (argument == QLatin1String("--")) {
            break;
        }
        const bool simulate =
            argument == QLatin1String("--simulate") || argument == QLatin1String("-simulate");
        const bool trace =
            argument == QLatin1String("--trace") || argument == QLatin1String("-trace");
        if (!simulate && !trace) {
            continue;
        }
        const bool valueFollows =
            i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1Char('-'));
        const QString value = valueFollows ? arguments.takeAt(i + 1)
                              : simulate   ? QStringLiteral("LUP")
                                           : QString();
        argument = (simulate ? QStringLiteral("--simulate=") : QStringLiteral("--trace=")) + value;
    }
    return arguments;
}

// The help as printed: the two options whose value may be left out show it
// in brackets.
QString HelpText(const QCommandLineParser& parser) {
    QString help = parser.helpText();
    help.replace(QStringLiteral("<executable_name>"), QStringLiteral("zel_checker"));
    help.replace(QStringLiteral("--simulate <LUP|RAV|ZEL>"),
                 QStringLiteral("--simulate [LUP|RAV|ZEL]"));
    help.replace(QStringLiteral("--trace <FILE>"), QStringLiteral("--trace [FILE]"));
    return help + QString::fromUtf8(kHelpEpilogue);
}

// A whole number from min to max, or false.
bool ReadNumber(const QString& text, int min, int max, int* value) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < min || n > max) {
        return false;
    }
    *value = n;
    return true;
}

// Reads the command line before any window system is touched, so that --help,
// --version and mistakes are answered on a machine without a display too.
// Returns an exit code, or -1 to go on.
int ReadOptions(int argc, char* argv[], Options* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Bench checker for ZEL-03 telemetry and logging units on a serial port."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and quit."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Show the version and quit."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Map a port name to a device, e.g. COM1=/dev/ttyUSB0 (repeatable). "
                       "Without it COMk is /dev/ttyS(k-1)."),
        QStringLiteral("COMk=DEVICE"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Wire COM1 to a simulated ZEL-03 unit of ROM family LUP (the default when "
                       "given as plain --simulate), RAV or ZEL; as --simulate=ZEL or "
                       "--simulate ZEL."),
        QStringLiteral("LUP|RAV|ZEL"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Run a short demo, save the window as a PNG file once the unit has "
                       "answered a few polls, and quit (offscreen when there is no display)."),
        QStringLiteral("FILE"));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"),
        QStringLiteral("Log every frame to and from the unit, the receiver's verdict, what was "
                       "read from each reply and the port's events, one line each, on stderr "
                       "or appended to FILE (--trace=FILE or --trace FILE; a FILE starting "
                       "with \"-\" only as --trace=FILE)."),
        QStringLiteral("FILE"));
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("Append every row the unit table shows to FILE as CSV (time, unit, type, "
                       "record, eight channel texts)."),
        QStringLiteral("FILE"));
    const QCommandLineOption checkUnitOption(
        QStringLiteral("check-unit"),
        QStringLiteral("Run the check procedure on the unit and judge it: Pattern1, Pattern2 and "
                       "Pattern3 read back bit for bit, Clear4, the 24-bit counter, a record "
                       "scan and Stop. Prints the verdict, shows it (the box closes by itself "
                       "after a few seconds), closes the window and exits with 0 (pass), 1 (a "
                       "step failed), 2 (no port or no unit) or 74 (an output file could not "
                       "be written); offscreen when there is no display."));
    const QCommandLineOption reportOption(
        QStringLiteral("report"),
        QStringLiteral("With --check-unit: write the verdict, each step with its reason and the "
                       "frames it judged, as JSON to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption simFaultOption(
        QStringLiteral("sim-fault"),
        QStringLiteral("With --simulate: build the simulated unit with a fault (repeatable): "
                       "stuck-bit=N[:0|:1][@L] (monitor cell N always reads 1, or 0 with :0; "
                       "with @L only on line L, 1..4), no-counter, bad-checksum=P (P percent "
                       "of its replies carry a wrong checksum), spoil-first=CODE (its first "
                       "reply with that two-character code, e.g. QV, carries a wrong "
                       "checksum), drop-lf-first=CODE (its first reply with that code lacks "
                       "the LF after its closing CR) or restart-on=CODE (the first command "
                       "with that code, e.g. QG, restarts the unit instead of being answered)."),
        QStringLiteral("FAULT"));
    const QCommandLineOption expectBitsOption(
        QStringLiteral("expect-bits"),
        QStringLiteral("With --check-unit: the bits the unit must scan, 32, 64, 128 or 256 (the "
                       "default, as a ZEL-03 scans); a unit that scans fewer fails."),
        QStringLiteral("N"));
    const QCommandLineOption expectRomOption(
        QStringLiteral("expect-rom"),
        QStringLiteral("With --check-unit: the ROM the unit must name, e.g. LUPTAB13; a unit "
                       "that names another fails."),
        QStringLiteral("NAME"));
    const QCommandLineOption waitForUnitOption(
        QStringLiteral("wait-for-unit"),
        QStringLiteral("With --check-unit: how long to wait for the unit to be powered on and "
                       "answer, in seconds (default 8; 0 waits without end)."),
        QStringLiteral("SECONDS"));
    parser.addOptions({helpOption, versionOption, portOption, simulateOption, screenshotOption,
                       traceOption, recordOption, checkUnitOption, reportOption, expectBitsOption,
                       expectRomOption, waitForUnitOption, simFaultOption});

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (!parser.parse(JoinOptionalValues(arguments))) {
        std::fprintf(stderr, "zel_checker: %s\nTry 'zel_checker --help'.\n",
                     qPrintable(parser.errorText()));
        return kExitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::printf("%s", qPrintable(HelpText(parser)));
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("zel_checker %s\n", ZEL_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zel_checker: unexpected argument \"%s\"\nTry 'zel_checker --help'.\n",
                     qPrintable(parser.positionalArguments().first()));
        return kExitUsage;
    }
    for (const QString& mapping : parser.values(portOption)) {
        QString error;
        if (!options->Names.AddMapping(mapping, &error)) {
            std::fprintf(stderr, "zel_checker: --port: %s\n", qPrintable(error));
            return kExitUsage;
        }
    }
    options->Simulate = parser.isSet(simulateOption);
    if (options->Simulate && !ParseUnitFamily(parser.value(simulateOption), &options->Family)) {
        std::fprintf(stderr, "zel_checker: --simulate: expected LUP, RAV or ZEL, got \"%s\"\n",
                     qPrintable(parser.value(simulateOption)));
        return kExitUsage;
    }
    if (parser.isSet(simFaultOption) && !options->Simulate) {
        std::fprintf(stderr, "zel_checker: --sim-fault needs --simulate\n");
        return kExitUsage;
    }
    for (const QString& fault : parser.values(simFaultOption)) {
        QString error;
        if (!ParseUnitFault(fault, &options->Faults, &error)) {
            std::fprintf(stderr, "zel_checker: --sim-fault: %s\n", qPrintable(error));
            return kExitUsage;
        }
    }
    options->Screenshot = parser.value(screenshotOption);
    options->TraceOn = parser.isSet(traceOption);
    options->TraceFile = parser.value(traceOption);
    options->RecordFile = parser.value(recordOption);
    if (parser.isSet(recordOption) && options->RecordFile.isEmpty()) {
        std::fprintf(stderr, "zel_checker: --record needs a file name\n");
        return kExitUsage;
    }
    options->CheckUnit = parser.isSet(checkUnitOption);
    options->ReportFile = parser.value(reportOption);
    if (parser.isSet(reportOption) && (!options->CheckUnit || options->ReportFile.isEmpty())) {
        std::fprintf(stderr, "zel_checker: --report needs --check-unit and a file name\n");
        return kExitUsage;
    }
    if (options->CheckUnit && !options->Screenshot.isEmpty()) {
        std::fprintf(stderr, "zel_checker: --check-unit and --screenshot do not go together\n");
        return kExitUsage;
    }
    for (const QCommandLineOption* option :
         {&expectBitsOption, &expectRomOption, &waitForUnitOption}) {
        if (parser.isSet(*option) && !options->CheckUnit) {
            std::fprintf(stderr, "zel_checker: --%s needs --check-unit\n",
                         qPrintable(option->names().first()));
            return kExitUsage;
        }
    }
    if (parser.isSet(expectBitsOption)) {
        const QString bits = parser.value(expectBitsOption);
        int n = 0;
        if (!ReadNumber(bits, 32, 256, &n) || (n != 32 && n != 64 && n != 128 && n != 256)) {
            std::fprintf(stderr,
                         "zel_checker: --expect-bits: expected 32, 64, 128 or 256, got \"%s\"\n",
                         qPrintable(bits));
            return kExitUsage;
        }
        options->Check.ExpectBits = n;
    }
    if (parser.isSet(expectRomOption)) {
        options->Check.ExpectRom = parser.value(expectRomOption).trimmed();
        if (options->Check.ExpectRom.isEmpty()) {
            std::fprintf(stderr, "zel_checker: --expect-rom needs a ROM name\n");
            return kExitUsage;
        }
    }
    if (parser.isSet(waitForUnitOption)) {
        const QString seconds = parser.value(waitForUnitOption);
        // A day at most: the wait is counted in milliseconds.
        if (!ReadNumber(seconds, 0, 86400, &options->Check.WaitForUnitS)) {
            std::fprintf(stderr,
                         "zel_checker: --wait-for-unit: expected seconds from 0 to 86400, got "
                         "\"%s\"\n",
                         qPrintable(seconds));
            return kExitUsage;
        }
    }
    return -1;
}

bool HaveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    if (const int code = ReadOptions(argc, argv, &options); code >= 0) {
        return code;
    }
    // Every output file is opened before any window: a file that cannot be
    // written stops the start rather than losing lines or rows later.
    TraceLog trace;
    RecordLog record;
    QString fileError;
    if (options.TraceOn && !trace.Open(options.TraceFile, &fileError)) {
        std::fprintf(stderr, "zel_checker: --trace: %s\n", qPrintable(fileError));
        return kExitCantWrite;
    }
    if (!options.RecordFile.isEmpty() && !record.Open(options.RecordFile, &fileError)) {
        std::fprintf(stderr, "zel_checker: --record: %s\n", qPrintable(fileError));
        return kExitCantWrite;
    }
    OutputFile report;
    if (!options.ReportFile.isEmpty() &&
        !report.Open(options.ReportFile, OutputFile::Mode::Replace)) {
        std::fprintf(stderr, "zel_checker: --report: %s\n", qPrintable(report.Error()));
        return kExitCantWrite;
    }
#ifdef Q_OS_LINUX
    if (!HaveDisplay()) {
        if (options.Screenshot.isEmpty() && !options.CheckUnit) {
            std::fprintf(stderr, "zel_checker: no display (DISPLAY and WAYLAND_DISPLAY are unset). "
                                 "Run it in a desktop session, or render the demo with "
                                 "--simulate --screenshot FILE.\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zel_checker"));
    QApplication::setApplicationVersion(QStringLiteral(ZEL_VERSION));
    PortNames& names = options.Names;

    // The simulated unit runs on its own thread behind a pseudo-terminal that
    // stands in for COM1; everything else of the checker is as with a real unit.
    SimulatedUnitHost unit;
    const UnitFamily family = options.Family;
    QString simulatedDevice;
    const bool simulate = options.Simulate;
    if (simulate) {
        QString error;
        UnitConfig config;
        config.Family = family;
        config.Faults = options.Faults;
        if (!unit.Start(config, &simulatedDevice, &error)) {
            std::fprintf(stderr, "zel_checker: cannot start the simulated unit: %s\n",
                         qPrintable(error));
            return 1;
        }
        names.Map(1, simulatedDevice);
    }

    QtSerialControl serial(names);
    // On the offscreen platform nobody could answer a box: boxes go to stderr.
    const bool unattended = QGuiApplication::platformName() == QLatin1String("offscreen") ||
                            QGuiApplication::platformName() == QLatin1String("minimal");
    QtMessageBoxes shownBoxes(nullptr);
    UnattendedMessageBoxes printedBoxes;
    MessageBoxes* boxes = unattended ? static_cast<MessageBoxes*>(&printedBoxes) : &shownBoxes;
    // A check that a script started must never wait for a click, also not on
    // a notice about the port.
    SelfClosingMessageBoxes selfClosingBoxes(*boxes, UnitCheck::kVerdictBoxSeconds);
    if (options.CheckUnit) {
        boxes = &selfClosingBoxes;
    }
    Form1 form(&serial, boxes);
    shownBoxes.SetParent(&form);
    if (options.TraceOn) {
        form.Trace = &trace;
    }
    if (!options.RecordFile.isEmpty()) {
        form.Records = &record;
    }
    for (int k = 1; k <= 4; ++k) {
        form.Option2(k - 1)->setToolTip(names.Device(k));
    }
    QString simulatedText;
    if (simulate) {
        simulatedText = QStringLiteral("simulated %1 unit (%2)")
                            .arg(UnitFamilyName(family), QString::fromLatin1(UnitRomName(family)));
        form.setWindowTitle(form.windowTitle() + QStringLiteral(" — COM1: ") + simulatedText);
        form.Option2(0)->setToolTip(QStringLiteral("%1 on %2").arg(simulatedText, simulatedDevice));
        // A ZEL unit sends nothing of its own at power-on: it must be on before
        // the start-up version request. LUP and RAV units announce themselves
        // with their modem set-up lines a moment after the window opens.
        unit.PowerOn(family == UnitFamily::Zel ? 0 : 800);
    }
    // The check watches the line from its first byte on, so it is there
    // before the window's start sends anything.
    std::unique_ptr<UnitCheck> check;
    if (options.CheckUnit) {
        check = std::make_unique<UnitCheck>(
            form, QStringLiteral("zel_checker %1").arg(QStringLiteral(ZEL_VERSION)),
            options.ReportFile.isEmpty() ? nullptr : &report, options.Check);
    }
    // A trace or record write that fails is told at once, on stderr, and
    // either fails the check or, in a window someone watches, in one box per
    // file (that log writes nothing more). The box waits until the receive
    // handler that wrote the line has returned.
    QPointer<Form1> window(&form);
    const auto outputLost = [&check, window, boxes, unattended](
                                const char* option, const QString& what, const QString& reason) {
        std::fprintf(stderr, "zel_checker: %s: %s; nothing more is written to it\n", option,
                     qPrintable(reason));
        if (check != nullptr) {
            check->OutputFailed(reason);
        } else if (!unattended && window != nullptr) {
            QMetaObject::invokeMethod(
                window,
                [boxes, what, reason] {
                    boxes->Information(
                        QStringLiteral("Information"),
                        QStringLiteral("出力ファイルに書き込めません。\r\n%1 stopped: %2.")
                            .arg(what, reason));
                },
                Qt::QueuedConnection);
        }
    };
    trace.OnFailure([&outputLost](const QString& reason) {
        outputLost("--trace", QStringLiteral("The line trace"), reason);
    });
    record.OnFailure([&outputLost](const QString& reason) {
        outputLost("--record", QStringLiteral("The measurement record"), reason);
    });
    form.show();
    form.Form_Load();
    if (!options.Screenshot.isEmpty()) {
        RunScreenshotDemo(form, options.Screenshot);
    }
    int status = 0;
    if (check != nullptr) {
        QMetaObject::invokeMethod(check.get(), &UnitCheck::Run, Qt::QueuedConnection);
        QApplication::exec();
        status = check->ExitStatus();
    } else {
        status = QApplication::exec();
        if (status == 0 && (trace.Failed() || record.Failed())) {
            status = kExitCantWrite;
        }
    }
    // What the window still writes while it is taken down is told on stderr
    // only.
    const auto told = [](const char* option) {
        return [option](const QString& reason) {
            std::fprintf(stderr, "zel_checker: %s: %s\n", option, qPrintable(reason));
        };
    };
    trace.OnFailure(told("--trace"));
    record.OnFailure(told("--record"));
    return status;
}
