#pragma once

// The unit's end of a pseudo-terminal for tests that run the real serial
// control: the checker opens SlaveName as its COM port, the test plays the
// unit on the master side in raw mode.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <chrono>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

struct PtyPeer {
    int Master = -1;
    int Slave = -1;
    QString SlaveName;

    PtyPeer() {
        char name[128] = {};
        if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0) {
            return;
        }
        termios t{};
        tcgetattr(Master, &t);
        cfmakeraw(&t);
        tcsetattr(Master, TCSANOW, &t);
        SlaveName = QString::fromLocal8Bit(name);
    }
    ~PtyPeer() {
        for (int fd : {Master, Slave}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;
    bool Ok() const { return Master >= 0; }

    bool WriteAll(const QByteArray& bytes) const {
        return ::write(Master, bytes.constData(), static_cast<size_t>(bytes.size())) ==
               bytes.size();
    }
    // Writes the bytes one by one at 9600 baud, 10 bits a byte.
    void WritePaced(const QByteArray& bytes) const {
        auto next = std::chrono::steady_clock::now();
        for (char c : bytes) {
            (void)::write(Master, &c, 1);
            next += std::chrono::microseconds(1042);
            std::this_thread::sleep_until(next);
        }
    }
    // Reads what the checker sends within ms, stopping early once size bytes are in.
    QByteArray ReadFor(int ms, qsizetype size = -1) const {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && (size < 0 || got.size() < size)) {
            pollfd p{Master, POLLIN, 0};
            if (poll(&p, 1, 5) > 0 && (p.revents & POLLIN) != 0) {
                char buffer[512];
                const ssize_t n = ::read(Master, buffer, sizeof buffer);
                if (n > 0) {
                    got.append(buffer, n);
                }
            }
        }
        return got;
    }
};
