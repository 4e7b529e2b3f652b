// zel_checker: the bench checker for ZEL-03 units on a serial port.
#include "controls/MessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

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
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Render the window to a PNG file after a few seconds, then quit."),
        QStringLiteral("FILE"));
    parser.addOption(screenshotOption);
    parser.process(app);

    PortNames names;
    for (const QString& mapping : parser.values(portOption)) {
        QString error;
        if (!names.AddMapping(mapping, &error)) {
            std::fprintf(stderr, "zel_checker: --port: %s\n", qPrintable(error));
            return 2;
        }
    }

    QtSerialControl serial(names);
    QtMessageBoxes boxes(nullptr);
    Form1 form(&serial, &boxes);
    boxes.SetParent(&form);
    for (int k = 1; k <= 4; ++k) {
        form.Option2(k - 1)->setToolTip(names.Device(k));
    }
    form.show();
    form.Form_Load();
    if (parser.isSet(screenshotOption)) {
        const QString file = parser.value(screenshotOption);
        QTimer::singleShot(2500, &form, [&form, file] {
            const bool saved = form.grab().save(file);
            std::printf("%s\n", saved ? qPrintable(file) : "screenshot could not be saved");
            std::fflush(stdout);
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
