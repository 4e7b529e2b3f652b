#include "link/QtSerialControl.h"

#include <QFileInfo>
#include <QMetaObject>

QtSerialControl::QtSerialControl(PortNames names, QObject* parent)
    : SerialControl(parent), Names(std::move(names)) {
    connect(&Port, &QSerialPort::readyRead, this, &QtSerialControl::OnReadyRead);
    connect(&Port, &QSerialPort::errorOccurred, this, &QtSerialControl::OnError);
}

static QSerialPort::Parity ToParity(char p) {
    switch (p) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    default:
        return QSerialPort::NoParity;
    }
}

bool QtSerialControl::SetPortOpen(bool open) {
    if (!open) {
        if (Port.isOpen()) {
            Port.close();
        }
        return true;
    }
    if (Port.isOpen()) {
        return true;
    }
    LineSettings s;
    ParseSettings(Settings(), &s);
    const QString device = DeviceName();
    Port.setPortName(device);
    Port.setBaudRate(s.Baud);
    Port.setParity(ToParity(s.Parity));
    Port.setDataBits(static_cast<QSerialPort::DataBits>(s.DataBits));
    Port.setStopBits(s.StopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    Port.setFlowControl(QSerialPort::NoFlowControl);
    if (Port.open(QIODevice::ReadWrite)) {
        SetFailure(OpenFailure::None, {});
        return true;
    }
    const auto error = Port.error();
    const QString text = Port.errorString();
    Port.clearError();
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device)) {
        SetFailure(OpenFailure::NotFound, text);
    } else if (error == QSerialPort::PermissionError && text.contains(QLatin1String("lock"))) {
        // A second opening of the same device fails while locking it.
        SetFailure(OpenFailure::InUse, text);
    } else if (error == QSerialPort::PermissionError) {
        SetFailure(OpenFailure::NoPermission, text);
    } else {
        SetFailure(OpenFailure::Other, text);
    }
    return false;
}

void QtSerialControl::Output(const QByteArray& bytes) {
    if (!Port.isOpen()) {
        return;
    }
    Port.write(bytes);
    Port.flush();  // QSerialPort sends nothing until the event loop runs otherwise
}

int QtSerialControl::InBufferCount() {
    return Port.isOpen() ? static_cast<int>(Port.bytesAvailable()) : 0;
}

void QtSerialControl::ClearInBuffer() {
    if (Port.isOpen()) {
        Port.readAll();
        Port.clear(QSerialPort::Input);
    }
}

QByteArray QtSerialControl::Input() { return Port.isOpen() ? Port.read(1) : QByteArray(); }

void QtSerialControl::WaitForInput(int maxMs) {
    if (!Port.isOpen() || Port.bytesAvailable() > 0) {
        return;
    }
    if (!Port.waitForReadyRead(maxMs) && Port.error() == QSerialPort::TimeoutError) {
        Port.clearError();
    }
}

void QtSerialControl::OnReadyRead() {
    if (Posted) {
        return;
    }
    Posted = true;
    QMetaObject::invokeMethod(this, &QtSerialControl::DeliverOnComm, Qt::QueuedConnection);
}

void QtSerialControl::DeliverOnComm() {
    Posted = false;
    if (Port.isOpen() && Port.bytesAvailable() > 0) {
        SetCommEvent(kEvReceive);
        emit OnComm();
    }
}

void QtSerialControl::OnError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) {
        return;
    }
    // A vanished device raises errors as fast as they can be read; close the
    // port first so that the operator is told once.
    const QString reason = Port.errorString();
    Port.clearError();
    if (Port.isOpen()) {
        Port.close();
        emit PortFault(reason);
    }
}
