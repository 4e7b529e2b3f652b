// zel_checker: the bench checker for ZEL-03 units on a serial port.
#include "Demo.h"
#include "controls/MessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"
#include "sim/SimulatedUnitHost.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zel_checker"));
    QApplication::setApplicationVersion(QStringLiteral("1.13"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Bench checker for ZEL-03 telemetry and logging units on a serial port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Map a port name to a device, e.g. COM1=/dev/ttyUSB0 (repeatable). "
                       "Without it COMk is /dev/ttyS(k-1)."),
        QStringLiteral("COMk=DEVICE"));
    parser.addOption(portOption);
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Wire COM1 to a simulated ZEL-03 unit of ROM family LUP (default), RAV "
                       "or ZEL."),
        QStringLiteral("LUP|RAV|ZEL"));
    parser.addOption(simulateOption);
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Run a short demo, save the window as a PNG file once the unit has "
                       "answered a few polls, and quit."),
        QStringLiteral("FILE"));
    parser.addOption(screenshotOption);
    // "--simulate" alone means the LUP family.
    QStringList arguments = QCoreApplication::arguments();
    for (QString& argument : arguments) {
        if (argument == QLatin1String("--simulate") || argument == QLatin1String("-simulate")) {
            argument = QStringLiteral("--simulate=LUP");
        }
    }
    parser.process(arguments);

    PortNames names;
    for (const QString& mapping : parser.values(portOption)) {
        QString error;
        if (!names.AddMapping(mapping, &error)) {
            std::fprintf(stderr, "zel_checker: --port: %s\n", qPrintable(error));
            return 2;
        }
    }

    // The simulated unit runs on its own thread behind a pseudo-terminal that
    // stands in for COM1; everything else of the checker is as with a real unit.
    SimulatedUnitHost unit;
    UnitFamily family = UnitFamily::Lup;
    QString simulatedDevice;
    const bool simulate = parser.isSet(simulateOption);
    if (simulate) {
        if (!ParseUnitFamily(parser.value(simulateOption), &family)) {
            std::fprintf(stderr, "zel_checker: --simulate: expected LUP, RAV or ZEL, got \"%s\"\n",
                         qPrintable(parser.value(simulateOption)));
            return 2;
        }
        QString error;
        if (!unit.Start(family, 256, true, &simulatedDevice, &error)) {
            std::fprintf(stderr, "zel_checker: cannot start the simulated unit: %s\n",
                         qPrintable(error));
            return 1;
        }
        names.Map(1, simulatedDevice);
    }

    QtSerialControl serial(names);
    QtMessageBoxes boxes(nullptr);
    Form1 form(&serial, &boxes);
    boxes.SetParent(&form);
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
    if (parser.isSet(screenshotOption)) {
        RunScreenshotDemo(form, parser.value(screenshotOption));
    }
    return QApplication::exec();
}
