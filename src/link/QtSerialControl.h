#pragma once

#include "link/PortNames.h"
#include "link/SerialControl.h"

#include <QElapsedTimer>
#include <QSerialPort>

// Who the character device under path is: its device number and, where the
// system tells, what makes it that device (a USB adapter's by-id name, a
// pseudo-terminal's making). Empty when there is no such device.
QString DeviceIdentity(const QString& path);

// The serial control over a real port. The receive notification is posted,
// not raised from readyRead directly, so that a receive handler that waits
// (and serves events meanwhile) can run another receive handler inside it.
class QtSerialControl : public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(PortNames names, QObject* parent = nullptr);

    bool SetPortOpen(bool open) override;
    bool PortOpen() const override { return Port.isOpen(); }
    bool Reopen() override;
    QString DeviceName() const override { return Names.Device(CommPort()); }
    void Output(const QByteArray& bytes) override;
    int InBufferCount() override;
    void ClearInBuffer() override;
    int ReadWaiting(uint8_t* dst, int max) override;
    void WaitForInput(int maxMs) override;
    void PutBack(const QByteArray& bytes) override;

private:
    void OnReadyRead();
    void PostOnComm();
    void DeliverOnComm();
    void OnError(QSerialPort::SerialPortError error);
    // The state of the line after a failed read: its device node gone, hung
    // up (or its handle no longer usable), or in order.
    ReadFailureJudge::Line LineNow();
    // Why a port found dead failed, in the operator's words: the device
    // removed, a hang-up, or the error of a read on it. The port's own error
    // text is often a leftover of an earlier, harmless call.
    QString FaultCause(ReadFailureJudge::Line line);

    PortNames Names;
    QSerialPort Port;
    bool Posted = false;
    // Bytes put back, read before those the port holds.
    QByteArray Held;
    // Who the device last opened is (see DeviceIdentity); empty when unknown.
    QString OpenedIdentity;
    QElapsedTimer FaultClock;
};
