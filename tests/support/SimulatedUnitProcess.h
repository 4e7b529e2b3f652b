#pragma once

// zel-unit-sim as its own program on a new pseudo-terminal, for the tests
// that run the checker's programs against it: Device is where it listens
// (empty when it did not start). The unit never ends on its own; it is
// stopped with the object.
#include <QProcess>
#include <QString>
#include <QStringList>

struct SimulatedUnitProcess {
    QProcess Process;
    QString Device;

    SimulatedUnitProcess(const QString& program, const QStringList& arguments) {
        Process.start(program, arguments);
        if (Process.waitForReadyRead(10000)) {
            Device = QString::fromLocal8Bit(Process.readLine()).trimmed();
        }
    }
    ~SimulatedUnitProcess() {
        Process.kill();
        Process.waitForFinished();
    }
    SimulatedUnitProcess(const SimulatedUnitProcess&) = delete;
    SimulatedUnitProcess& operator=(const SimulatedUnitProcess&) = delete;
};
