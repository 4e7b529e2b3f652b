#include "BenchSetup.h"

namespace {

// "NAME=VALUE" with both parts present.
bool SplitPair(const QString& text, QString* name, QString* value) {
    const qsizetype at = text.indexOf(QLatin1Char('='));
    if (at <= 0 || at + 1 >= text.size()) {
        return false;
    }
    *name = text.left(at).trimmed();
    *value = text.mid(at + 1);
    return !name->isEmpty();
}

} // namespace

std::optional<QList<BenchPort>> ParseBenchPorts(const QStringList& ports,
                                                const QStringList& serials, QString* error) {
    QList<BenchPort> bench;
    const auto find = [&bench](const QString& name) -> BenchPort* {
        for (BenchPort& port : bench) {
            if (port.Name.compare(name, Qt::CaseInsensitive) == 0) {
                return &port;
            }
        }
        return nullptr;
    };
    for (const QString& text : ports) {
        BenchPort port;
        if (!SplitPair(text, &port.Name, &port.Device)) {
            *error =
                QStringLiteral("--port %1: expected NAME=DEVICE, e.g. COM1=/dev/ttyUSB0").arg(text);
            return std::nullopt;
        }
        if (find(port.Name) != nullptr) {
            *error = QStringLiteral("--port %1: the port %2 is named twice").arg(text, port.Name);
            return std::nullopt;
        }
        for (const BenchPort& other : bench) {
            if (other.Device == port.Device) {
                *error = QStringLiteral("--port %1: the device %2 is already %3")
                             .arg(text, port.Device, other.Name);
                return std::nullopt;
            }
        }
        bench.append(port);
    }
    for (const QString& text : serials) {
        QString name;
        QString serial;
        if (!SplitPair(text, &name, &serial)) {
            *error =
                QStringLiteral("--serial %1: expected NAME=SERIAL, e.g. COM1=SN0412").arg(text);
            return std::nullopt;
        }
        BenchPort* port = find(name);
        if (port == nullptr) {
            *error = QStringLiteral("--serial %1: no --port %2 is given").arg(text, name);
            return std::nullopt;
        }
        if (!port->Serial.isEmpty()) {
            *error = QStringLiteral("--serial %1: %2 has a serial number already").arg(text, name);
            return std::nullopt;
        }
        port->Serial = serial;
    }
    return bench;
}
