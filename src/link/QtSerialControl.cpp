#include "link/QtSerialControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

QtSerialControl::QtSerialControl(PortNames names, QObject* parent)
    : SerialControl(parent), Names(std::move(names)) {
    FaultClock.start();
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
        Held.clear();
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
        OpenedIdentity = DeviceIdentity(device);
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

QString DeviceIdentity(const QString& path) {
#ifdef Q_OS_LINUX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return {};
    }
    const unsigned kind = major(st.st_rdev);
    QString id = QStringLiteral("%1:%2").arg(kind).arg(minor(st.st_rdev));
    if (kind >= 136 && kind <= 143) {
        // A pseudo-terminal's number is given to the next program that asks
        // once it is free; its node is made anew each time.
        return id + QStringLiteral(" made %1.%2").arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec);
    }
    // A USB adapter keeps its name under by-id (maker, model, serial number)
    // whatever number it gets.
    const QString device = QFileInfo(path).canonicalFilePath();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == device) {
            return id + QLatin1Char(' ') + link.fileName();
        }
    }
    return id;
#else
    return path;
#endif
}

bool QtSerialControl::Reopen() {
    if (Port.isOpen()) {
        return true;
    }
    const QString now = DeviceIdentity(DeviceName());
    if (!now.isEmpty() && !OpenedIdentity.isEmpty() && now != OpenedIdentity) {
        SetFailure(OpenFailure::OtherDevice,
                   QStringLiteral("another device is under %1").arg(DeviceName()));
        return false;
    }
    return SetPortOpen(true);
}

void QtSerialControl::Output(const QByteArray& bytes) {
    if (!Port.isOpen()) {
        return;
    }
    Port.write(bytes);
    Port.flush(); // QSerialPort sends nothing until the event loop runs otherwise
}

int QtSerialControl::InBufferCount() {
    return Port.isOpen() ? static_cast<int>(Held.size() + Port.bytesAvailable()) : 0;
}

void QtSerialControl::ClearInBuffer() {
    Held.clear();
    if (Port.isOpen()) {
        Port.readAll();
        Port.clear(QSerialPort::Input);
    }
}

int QtSerialControl::ReadWaiting(uint8_t* dst, int max) {
    if (!Port.isOpen() || max <= 0) {
        return 0;
    }
    if (!Held.isEmpty()) {
        // What was put back comes first; the port's bytes follow at the next read.
        const int n = std::min(max, static_cast<int>(Held.size()));
        std::copy_n(Held.constData(), n, reinterpret_cast<char*>(dst));
        Held.remove(0, n);
        return n;
    }
    // The port's buffer grows only when something reads the device: a wait
    // of no time takes in what the device holds, without blocking.
    if (!Port.waitForReadyRead(0) && Port.error() == QSerialPort::TimeoutError) {
        Port.clearError();
    }
    const qint64 n = Port.read(reinterpret_cast<char*>(dst), max);
    return n > 0 ? static_cast<int>(n) : 0;
}

void QtSerialControl::WaitForInput(int maxMs) {
    if (!Port.isOpen()) {
        // A port closed by a fault while a frame was being collected: the
        // frame ends by silence, and the collector must not spin until then.
        QThread::msleep(static_cast<unsigned long>(std::max(1, maxMs)));
        return;
    }
    if (!Held.isEmpty() || Port.bytesAvailable() > 0) {
        return;
    }
    if (!Port.waitForReadyRead(maxMs) && Port.error() == QSerialPort::TimeoutError) {
        Port.clearError();
    }
}

void QtSerialControl::PutBack(const QByteArray& bytes) {
    if (!Port.isOpen() || bytes.isEmpty()) {
        return;
    }
    Held.prepend(bytes);
    PostOnComm();
}

void QtSerialControl::OnReadyRead() {
    BytesArrived();
    PostOnComm();
}

void QtSerialControl::PostOnComm() {
    if (Posted) {
        return;
    }
    Posted = true;
    QMetaObject::invokeMethod(this, &QtSerialControl::DeliverOnComm, Qt::QueuedConnection);
}

void QtSerialControl::DeliverOnComm() {
    Posted = false;
    if (Port.isOpen() && (!Held.isEmpty() || Port.bytesAvailable() > 0)) {
        SetCommEvent(kEvReceive);
        emit OnComm();
    }
}

ReadFailureJudge::Line QtSerialControl::LineNow() {
    if (!QFileInfo::exists(DeviceName())) {
        return ReadFailureJudge::Line::Gone;
    }
#ifdef Q_OS_UNIX
    pollfd p{static_cast<int>(Port.handle()), POLLIN, 0};
    if (p.fd < 0 || ::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return ReadFailureJudge::Line::HungUp;
    }
#endif
    return ReadFailureJudge::Line::InOrder;
}

QString QtSerialControl::FaultCause(ReadFailureJudge::Line line) {
    switch (line) {
    case ReadFailureJudge::Line::Gone:
        return QStringLiteral("device removed");
    case ReadFailureJudge::Line::HungUp:
        return QStringLiteral("hang-up");
    case ReadFailureJudge::Line::InOrder:
        break;
    }
#ifdef Q_OS_UNIX
    // The line looks in order but its reads keep failing: one more read on the
    // device says with what error. The port is closed next, so a byte this
    // read may take is lost with the rest.
    char byte = 0;
    errno = 0;
    if (::read(static_cast<int>(Port.handle()), &byte, 1) < 0 && errno != EAGAIN &&
        errno != EWOULDBLOCK && errno != EINTR) {
        return QStringLiteral("I/O error: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
#endif
    return QStringLiteral("reads keep failing");
}

void QtSerialControl::OnError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) {
        return;
    }
    Port.clearError();
    if (!Port.isOpen()) {
        return;
    }
    // Both errors are also raised by a read that merely found the input
    // already taken (see ReadFailureJudge); the judge closes only a dead line.
    const ReadFailureJudge::Line line = LineNow();
    ReadFailed(
        line, [this, line] { return FaultCause(line); }, FaultClock.elapsed());
    if (error == QSerialPort::ResourceError && Port.isOpen()) {
        // A resource error stops the port's read notifications. The line was
        // kept open, so it must go on notifying: setting the read buffer size
        // restarts them. Queued, so that it follows the port's own handling.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (Port.isOpen()) {
                    Port.setReadBufferSize(Port.readBufferSize());
                }
            },
            Qt::QueuedConnection);
    }
}
