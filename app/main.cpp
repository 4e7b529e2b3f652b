// zel_checker: the bench checker for ZEL-03 units on a serial port.
#include "Demo.h"
#include "checks/UnitCheck.h"
#include "controls/MessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"
#include "sim/SimulatedUnitHost.h"
#include "trace/LogFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMetaObject>

#include <cstdio>

namespace {

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
};

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
                       "given as plain --simulate), RAV or ZEL."),
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
                       "or appended to FILE (given as --trace=FILE)."),
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
                       "scan and Stop. Prints the verdict, shows it, closes the window and "
                       "exits with 0 (pass), 1 (a step failed) or 2 (no port or no unit); "
                       "offscreen when there is no display."));
    const QCommandLineOption reportOption(
        QStringLiteral("report"),
        QStringLiteral("With --check-unit: write the verdict, each step with its reason and the "
                       "frames it judged, as JSON to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption simFaultOption(
        QStringLiteral("sim-fault"),
        QStringLiteral("With --simulate: build the simulated unit with a fault (repeatable): "
                       "stuck-bit=N (monitor cell N always reads 1; N:0 reads 0), no-counter, "
                       "or bad-checksum=P (P percent of its replies carry a wrong checksum)."),
        QStringLiteral("FAULT"));
    parser.addOptions({helpOption, versionOption, portOption, simulateOption, screenshotOption,
                       traceOption, recordOption, checkUnitOption, reportOption, simFaultOption});

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    // "--simulate" alone means the LUP family, "--trace" alone standard error.
    for (QString& argument : arguments) {
        if (argument == QLatin1String("--simulate") || argument == QLatin1String("-simulate")) {
            argument = QStringLiteral("--simulate=LUP");
        } else if (argument == QLatin1String("--trace") || argument == QLatin1String("-trace")) {
            argument = QStringLiteral("--trace=");
        }
    }
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "zel_checker: %s\nTry 'zel_checker --help'.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption)) {
        std::printf("%s", qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                               QStringLiteral("zel_checker"))));
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("zel_checker %s\n", ZEL_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zel_checker: unexpected argument \"%s\"\nTry 'zel_checker --help'.\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    for (const QString& mapping : parser.values(portOption)) {
        QString error;
        if (!options->Names.AddMapping(mapping, &error)) {
            std::fprintf(stderr, "zel_checker: --port: %s\n", qPrintable(error));
            return 2;
        }
    }
    options->Simulate = parser.isSet(simulateOption);
    if (options->Simulate && !ParseUnitFamily(parser.value(simulateOption), &options->Family)) {
        std::fprintf(stderr, "zel_checker: --simulate: expected LUP, RAV or ZEL, got \"%s\"\n",
                     qPrintable(parser.value(simulateOption)));
        return 2;
    }
    if (parser.isSet(simFaultOption) && !options->Simulate) {
        std::fprintf(stderr, "zel_checker: --sim-fault needs --simulate\n");
        return 2;
    }
    for (const QString& fault : parser.values(simFaultOption)) {
        QString error;
        if (!ParseUnitFault(fault, &options->Faults, &error)) {
            std::fprintf(stderr, "zel_checker: --sim-fault: %s\n", qPrintable(error));
            return 2;
        }
    }
    options->Screenshot = parser.value(screenshotOption);
    options->TraceOn = parser.isSet(traceOption);
    options->TraceFile = parser.value(traceOption);
    options->RecordFile = parser.value(recordOption);
    if (parser.isSet(recordOption) && options->RecordFile.isEmpty()) {
        std::fprintf(stderr, "zel_checker: --record needs a file name\n");
        return 2;
    }
    options->CheckUnit = parser.isSet(checkUnitOption);
    options->ReportFile = parser.value(reportOption);
    if (parser.isSet(reportOption) && (!options->CheckUnit || options->ReportFile.isEmpty())) {
        std::fprintf(stderr, "zel_checker: --report needs --check-unit and a file name\n");
        return 2;
    }
    if (options->CheckUnit && !options->Screenshot.isEmpty()) {
        std::fprintf(stderr, "zel_checker: --check-unit and --screenshot do not go together\n");
        return 2;
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
    // Both files are opened before any window: a file that cannot be written
    // stops the start rather than losing lines or rows later.
    TraceLog trace;
    RecordLog record;
    QString fileError;
    if (options.TraceOn && !trace.Open(options.TraceFile, &fileError)) {
        std::fprintf(stderr, "zel_checker: --trace: %s\n", qPrintable(fileError));
        return 1;
    }
    if (!options.RecordFile.isEmpty() && !record.Open(options.RecordFile, &fileError)) {
        std::fprintf(stderr, "zel_checker: --record: %s\n", qPrintable(fileError));
        return 1;
    }
    QFile report(options.ReportFile);
    if (!options.ReportFile.isEmpty() && !report.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "zel_checker: --report: %s: %s\n", qPrintable(options.ReportFile),
                     qPrintable(report.errorString()));
        return 2;
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
    form.show();
    form.Form_Load();
    if (!options.Screenshot.isEmpty()) {
        RunScreenshotDemo(form, options.Screenshot);
    }
    if (options.CheckUnit) {
        UnitCheck check(form, QStringLiteral("zel_checker %1").arg(QStringLiteral(ZEL_VERSION)),
                        options.ReportFile.isEmpty() ? nullptr : &report);
        QMetaObject::invokeMethod(&check, &UnitCheck::Run, Qt::QueuedConnection);
        QApplication::exec();
        return check.ExitStatus();
    }
    return QApplication::exec();
}
