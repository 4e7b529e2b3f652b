#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// COM1..COM4 are the checker's names for its ports. On Linux COMk is
// /dev/ttyS(k-1), on Windows COMk; "--port COMk=DEVICE" maps any device.
class PortNames {
public:
    QString Device(int port) const;
    // Parses "COMk=DEVICE" (k = 1..4). False, with a reason, for anything else.
    bool AddMapping(const QString& option, QString* error);
    void Map(int port, const QString& device) { Mapped[port] = device; }

private:
    QMap<int, QString> Mapped;
};

// Reads "9600,N,8,1" into its parts; false for a text it cannot use.
struct LineSettings {
    int Baud = 9600;
    char Parity = 'N';
    int DataBits = 8;
    int StopBits = 1;
};
bool ParseSettings(const QString& text, LineSettings* settings);
