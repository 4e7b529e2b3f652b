#pragma once

#include "link/ReadFailureJudge.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

// The serial control of the window: the operations the checker uses on its
// port, with the receive notification raised on the window thread. One
// implementation drives a real port through QSerialPort; tests use a fake.
class SerialControl : public QObject {
    Q_OBJECT
public:
    enum class OpenFailure { None, NotFound, InUse, NoPermission, OtherDevice, Other };
    static constexpr int kEvReceive = 2;

    using QObject::QObject;

    void SetCommPort(int port) { Port = port; }
    int CommPort() const { return Port; }
    void SetSettings(const QString& settings) { SettingsText = settings; }
    QString Settings() const { return SettingsText; }
    void SetRThreshold(int value) { Threshold = value; }
    int RThreshold() const { return Threshold; }
    void SetInputLen(int value) { InLen = value; }
    int InputLen() const { return InLen; }
    void SetInputMode(int value) { InMode = value; }
    int InputMode() const { return InMode; }

    // Opens the port chosen by CommPort with the current settings, or closes
    // it. An opening that fails leaves the port closed and returns false;
    // LastFailure() and LastError() then say why.
    virtual bool SetPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;
    // Opens the port again after a fault, but only the device that was open
    // before: another device now found under the same name (a reused
    // pseudo-terminal number, another adapter) is left alone, with the
    // failure OtherDevice.
    virtual bool Reopen() { return SetPortOpen(true); }
    OpenFailure LastFailure() const { return Failure; }
    QString LastError() const { return ErrorText; }
    // The device that CommPort currently names.
    virtual QString DeviceName() const = 0;

    // Queues all bytes for sending in one write; sends nothing while closed.
    virtual void Output(const QByteArray& bytes) = 0;
    // Bytes waiting to be read (the soak bench counts what a discard drops).
    virtual int InBufferCount() = 0;
    // Discards every received byte still waiting.
    virtual void ClearInBuffer() = 0;
    // Takes every byte that waits now, up to max, into dst: what the port has
    // buffered and what the device holds. Never blocks; 0 when none waits.
    virtual int ReadWaiting(uint8_t* dst, int max) = 0;
    // Blocks, without spinning, until a byte may be waiting or maxMs passed.
    virtual void WaitForInput(int maxMs) = 0;
    // Puts bytes already read back in front of those waiting, to be read
    // again, and raises the receive notification for them as for bytes that
    // arrived. Nothing while closed.
    virtual void PutBack(const QByteArray& bytes) = 0;
    int CommEvent() const { return Event; }

signals:
    // Raised on the window thread when bytes are waiting (CommEvent 2).
    void OnComm();
    // The open port failed (device gone, read error); it has been closed.
    void PortFault(const QString& reason);

protected:
    void SetFailure(OpenFailure failure, const QString& text) {
        Failure = failure;
        ErrorText = text;
    }
    void SetCommEvent(int event) { Event = event; }

    // A read on the open port failed at nowMs (ms on any steady clock). The
    // port is closed and PortFault raised, once, only when the judge finds the
    // device gone; otherwise the failure is passed over.
    void ReadFailed(ReadFailureJudge::Line line, const QString& reason, int64_t nowMs) {
        ReadFailed(
            line, [&reason] { return reason; }, nowMs);
    }
    // The same, with the reason told only once the port is found dead (and
    // before it is closed), by a function that may still look at the port.
    void ReadFailed(ReadFailureJudge::Line line, const std::function<QString()>& reason,
                    int64_t nowMs) {
        if (!PortOpen() || !Judge.Failed(line, nowMs)) {
            return;
        }
        const QString why = reason();
        SetPortOpen(false);
        emit PortFault(why);
    }
    void BytesArrived() { Judge.BytesArrived(); }

private:
    int Port = 1;
    QString SettingsText;
    int Threshold = 0;
    int InLen = 0;
    int InMode = 0;
    int Event = 0;
    OpenFailure Failure = OpenFailure::None;
    QString ErrorText;
    ReadFailureJudge Judge;
};
