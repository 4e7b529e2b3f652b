#pragma once

#include <QString>

// The unit's end of a serial line as a file descriptor in raw mode.
struct SerialEnd {
    int Fd = -1;      // the unit reads and writes here (non-blocking)
    int HoldFd = -1;  // a pseudo-terminal's slave, held open so that the line
                      // stays up while no program has it open; -1 otherwise
    QString PeerPath; // what the other side opens (the slave), or the device
};

// Opens a new pseudo-terminal; both ends raw (cfmakeraw), 9600 baud 8N1.
bool OpenPseudoTerminal(SerialEnd* end, QString* error);
// Opens a serial device (a real port, or one end of a pseudo-terminal pair) at
// 9600 baud, 8 data bits, no parity, 1 stop bit, raw, no flow control.
bool OpenSerialDevice(const QString& path, SerialEnd* end, QString* error);
void CloseSerialEnd(SerialEnd* end);
