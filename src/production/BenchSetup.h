#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The adapters of the bench as the command line gives them: `--port
// NAME=DEVICE` (any number, each name once) and `--serial NAME=SN` for the
// unit on that adapter.
struct BenchPort {
    QString Name;   // "COM3"
    QString Device; // "/dev/ttyUSB2"
    QString Serial; // empty when none was given
};

// Nothing, with the reason in *error, for a malformed entry, a port named
// twice, a device given twice, or a serial for a port that is not given.
std::optional<QList<BenchPort>> ParseBenchPorts(const QStringList& ports,
                                                const QStringList& serials, QString* error);
