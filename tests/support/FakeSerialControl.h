#pragma once

#include "VirtualClock.h"
#include "link/SerialControl.h"

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <functional>

// A serial control for tests: records every write with its time, and takes
// received bytes from the test, raising the receive notification the way the
// real control does (posted, so that it can run inside a wait). On a virtual
// clock, times are the clock's and waiting for bytes moves the line on;
// without one, real time passes.
class FakeSerialControl : public SerialControl {
public:
    struct Write {
        qint64 AtMs;
        QByteArray Bytes;
    };
    struct Opening {
        int Port;
        QString Settings;
        int RThreshold, InputLen, InputMode;
        qint64 AtMs; // on the fake's clock
    };

    explicit FakeSerialControl(VirtualClock* time = nullptr) : Time(time) { Clock.start(); }

    // Ports whose opening fails, and how.
    QMap<int, OpenFailure> FailingPorts;

    bool SetPortOpen(bool open) override {
        if (!open) {
            IsOpen = false;
            return true;
        }
        if (FailingPorts.contains(CommPort())) {
            SetFailure(FailingPorts.value(CommPort()), QStringLiteral("scripted failure"));
            return false;
        }
        IsOpen = true;
        Openings.append({CommPort(), Settings(), RThreshold(), InputLen(), InputMode(), NowMs()});
        return true;
    }
    bool PortOpen() const override { return IsOpen; }
    QString DeviceName() const override { return QStringLiteral("/dev/fake%1").arg(CommPort()); }

    void Output(const QByteArray& bytes) override {
        if (!IsOpen) {
            ++DroppedWrites;
            return;
        }
        Writes.append({NowMs(), bytes});
        if (AfterOutput) {
            AfterOutput(bytes);
        }
    }
    // Called after each recorded write, e.g. to let the unit answer at once.
    std::function<void(const QByteArray&)> AfterOutput;
    int InBufferCount() override { return static_cast<int>(Incoming.size()); }
    void ClearInBuffer() override { Incoming.clear(); }
    int ReadWaiting(uint8_t* dst, int max) override {
        const int n = std::min(max, static_cast<int>(Incoming.size()));
        std::copy_n(Incoming.constData(), n, reinterpret_cast<char*>(dst));
        Incoming.remove(0, n);
        return n;
    }
    void WaitForInput(int maxMs) override {
        if (DuringWait) {
            DuringWait();
        }
        if (Incoming.isEmpty()) {
            const qint64 before = NowNs();
            if (Time != nullptr) {
                Time->AwaitLine(maxMs);
            } else {
                QThread::msleep(static_cast<unsigned long>(std::max(1, maxMs)));
            }
            ++SleepsOnEmptyInput;
            SleptNs += NowNs() - before;
        }
    }
    void PutBack(const QByteArray& bytes) override {
        if (IsOpen && !bytes.isEmpty()) {
            Incoming.prepend(bytes);
            PostOnComm();
        }
    }
    // Runs whenever the receiver waits for bytes, e.g. to fail the port then.
    std::function<void()> DuringWait;
    // How often and how long the receiver slept waiting for bytes.
    int SleepsOnEmptyInput = 0;
    qint64 SleptNs = 0;

    // Bytes from the unit: queued now, notification posted.
    void Receive(const QByteArray& bytes) {
        Incoming += bytes;
        BytesArrived();
        PostOnComm();
    }
    void PostOnComm() {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (IsOpen && !Incoming.isEmpty()) {
                    SetCommEvent(kEvReceive);
                    emit OnComm();
                }
            },
            Qt::QueuedConnection);
    }
    void ReceiveAfter(int ms, const QByteArray& bytes) {
        if (Time != nullptr) {
            Time->OnLineAfter(ms, [this, bytes] { Receive(bytes); });
        } else {
            QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, bytes] { Receive(bytes); });
        }
    }
    // A checksummed reply: CR LF text CR LF and its two checksum digits.
    static QByteArray Reply(const QByteArray& codeAndData);

    // A read on the port failed with the line as given; the base class
    // decides, as for the real port, whether that closes it.
    void FailRead(ReadFailureJudge::Line line,
                  const QString& reason = QStringLiteral("read failed")) {
        ReadFailed(line, reason, NowMs());
    }
    void RaiseFault(const QString& reason) { FailRead(ReadFailureJudge::Line::HungUp, reason); }

    QList<QByteArray> Sent() const {
        QList<QByteArray> out;
        for (const Write& w : Writes) {
            out.append(w.Bytes);
        }
        return out;
    }
    qint64 NowMs() const { return NowNs() / 1'000'000; }
    qint64 NowNs() const { return Time != nullptr ? Time->NowNs() : Clock.nsecsElapsed(); }
    void ClearWrites() { Writes.clear(); }

    QList<Write> Writes;
    QList<Opening> Openings;
    int DroppedWrites = 0;
    QByteArray Incoming;

private:
    bool IsOpen = false;
    VirtualClock* Time;
    QElapsedTimer Clock;
};

#include "ReferenceFrames.h"

inline QByteArray FakeSerialControl::Reply(const QByteArray& codeAndData) {
    return Wire(codeAndData);
}
