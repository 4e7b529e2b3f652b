#pragma once

#include "link/PortNames.h"
#include "link/SerialControl.h"

#include <QSerialPort>

// The serial control over a real port. The receive notification is posted,
// not raised from readyRead directly, so that a receive handler that waits
// (and serves events meanwhile) can run another receive handler inside it.
class QtSerialControl : public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(PortNames names, QObject* parent = nullptr);

    bool SetPortOpen(bool open) override;
    bool PortOpen() const override { return Port.isOpen(); }
    QString DeviceName() const override { return Names.Device(CommPort()); }
    void Output(const QByteArray& bytes) override;
    int InBufferCount() override;
    void ClearInBuffer() override;
    QByteArray Input() override;
    void WaitForInput(int maxMs) override;

private:
    void OnReadyRead();
    void DeliverOnComm();
    void OnError(QSerialPort::SerialPortError error);
    // True when the line has hung up or its handle is no longer usable.
    bool LineHungUp();

    PortNames Names;
    QSerialPort Port;
    bool Posted = false;
    // Read errors in a row that found the line in order (see OnError).
    static constexpr int kEmptyReadsOfADeadLine = 1000;
    int EmptyReads = 0;
};
