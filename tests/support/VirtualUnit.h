#pragma once

#include "FakeSerialControl.h"
#include "VirtualClock.h"
#include "sim/UnitModel.h"

#include <deque>
#include <memory>
#include <set>

// The simulated ZEL-03 unit behind a fake port, in virtual time: the unit the
// pseudo-terminal host plays, stepped the same way, but on the window's
// virtual clock. Every write of the window reaches the unit at the clock's
// time; the unit's frames leave at their due time, one byte after another at
// the configured byte time (1042 us at 9600 baud), each byte a line event, so
// a frame collection holding the window sees them arrive as on a wire; the
// unit's own timers (modem set-up retries, stale input) are line events too.
// Faults built into the unit (UnitConfig) act as they do behind the
// pseudo-terminal; the cable damage of the host (flipped bits, lost bytes,
// pauses) is not played here.
class VirtualUnit {
public:
    VirtualUnit(VirtualClock& clock, FakeSerialControl& serial, const UnitConfig& config = {})
        : Time(clock), Serial(serial), Model(config) {
        Serial.AfterOutput = [this, alive = Alive](const QByteArray& bytes) {
            if (*alive) {
                Model.Receive(bytes, Time.NowMs());
                Step();
            }
        };
    }
    ~VirtualUnit() {
        *Alive = false;
        Serial.AfterOutput = nullptr;
    }
    VirtualUnit(const VirtualUnit&) = delete;
    VirtualUnit& operator=(const VirtualUnit&) = delete;

    // Powers the unit on ms from now: at once for 0, before the caller goes
    // on, so that a command sent right after finds it on.
    void PowerOn(int afterMs = 0) {
        if (afterMs <= 0) {
            Model.PowerOn(Time.NowMs());
            Step();
            return;
        }
        At(Time.NowNs() + qint64{afterMs} * kNsPerMs, [this] {
            Model.PowerOn(Time.NowMs());
            Step();
        });
    }
    const UnitModel& Unit() const { return Model; }
    // Frames that went out whole, and what the unit noted (set-up retries,
    // checksum verdicts) for a failing test to show.
    int FramesSent = 0;
    QList<UnitTraceEvent> Trace;
    QString TraceText() const {
        QStringList lines;
        for (const UnitTraceEvent& e : Trace) {
            lines << FormatTraceEvent(e);
        }
        return lines.join(QLatin1Char('\n'));
    }

private:
    static constexpr qint64 kNsPerMs = 1'000'000;

    // A line event that only touches the unit while it exists.
    void At(qint64 atNs, std::function<void()> event) {
        Time.OnLineAtNs(atNs, [alive = Alive, event = std::move(event)] {
            if (*alive) {
                event();
            }
        });
    }

    // As the host's loop: the model's timers and due frames first, then the
    // writer, then a wake booked for the model's next timer or frame.
    void Step() {
        const qint64 now = Time.NowMs();
        Model.Tick(now);
        for (const QByteArray& frame : Model.TakeDueFrames(now)) {
            ToWrite.push_back(frame);
        }
        Trace += Model.TakeTrace();
        qint64 wake = Model.NextWakeMs();
        if (wake >= 0) {
            // A timer already due would wake the host at once, again and
            // again; the next millisecond is the soonest the model can move.
            wake = std::max(wake, now + 1);
            if (Wakes.insert(wake).second) {
                At(wake * kNsPerMs, [this, wake] {
                    Wakes.erase(wake);
                    Step();
                });
            }
        }
        StartFrame();
    }

    // Books the bytes of the next frame, when none is on its way, from now:
    // byte i at i byte times (all at once on an unpaced line). The model has
    // spaced the frames already.
    void StartFrame() {
        if (Writing || ToWrite.empty()) {
            return;
        }
        const qint64 now = Time.NowNs();
        Writing = true;
        const QByteArray& frame = ToWrite.front();
        const qint64 byteNs = qint64{Model.Config().ByteTimeUs} * 1000;
        const auto delivered = [this](const QByteArray& bytes, bool last) {
            Serial.Receive(bytes);
            if (last) {
                FrameDone();
            }
        };
        for (qsizetype i = 0; i < frame.size(); ++i) {
            At(now + byteNs * i, [delivered, byte = frame.mid(i, 1), last = i + 1 == frame.size()] {
                delivered(byte, last);
            });
        }
    }
    void FrameDone() {
        ToWrite.pop_front();
        Writing = false;
        ++FramesSent;
        StartFrame();
    }

    VirtualClock& Time;
    FakeSerialControl& Serial;
    UnitModel Model;
    std::deque<QByteArray> ToWrite;
    bool Writing = false;
    std::set<qint64> Wakes; // model wakes booked on the line, in ms
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};
