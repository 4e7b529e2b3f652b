#include "sim/SerialEnds.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool MakeRaw(int fd, QString* error) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        *error = SystemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = SystemError("tcsetattr");
        return false;
    }
    return true;
}

bool SetNonBlocking(int fd, QString* error) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = SystemError("fcntl");
        return false;
    }
    return true;
}

} // namespace

bool OpenPseudoTerminal(SerialEnd* end, QString* error) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        *error = SystemError("openpty");
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (!MakeRaw(master, error) || !MakeRaw(slave, error) || !SetNonBlocking(master, error)) {
        close(master);
        close(slave);
        return false;
    }
    end->Fd = master;
    end->HoldFd = slave;
    end->PeerPath = QString::fromLocal8Bit(name);
    return true;
}

bool OpenSerialDevice(const QString& path, SerialEnd* end, QString* error) {
    const int fd = open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = SystemError(path.toLocal8Bit().constData());
        return false;
    }
    if (!isatty(fd)) {
        *error = QStringLiteral("%1 is not a terminal device").arg(path);
        close(fd);
        return false;
    }
    if (!MakeRaw(fd, error)) {
        close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    end->Fd = fd;
    end->HoldFd = -1;
    end->PeerPath = path;
    return true;
}

void CloseSerialEnd(SerialEnd* end) {
    if (end->Fd >= 0) {
        close(end->Fd);
    }
    if (end->HoldFd >= 0) {
        close(end->HoldFd);
    }
    *end = SerialEnd{};
}
