#pragma once

#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "VirtualClock.h"
#include "core/Form1.h"

#include <QElapsedTimer>
#include <QTest>

#include <functional>
#include <memory>

// A window wired to a fake port and scripted message boxes. It runs in
// virtual time unless built on the real clock, for the few cases where real
// time is what is tested.
struct FormFixture {
    enum class Time { Virtual, Real };
    VirtualClock Clock;
    FakeSerialControl Serial;
    FakeMessageBoxes Boxes;
    std::unique_ptr<Form1> Form;

    explicit FormFixture(bool load = true, Time time = Time::Virtual)
        : Serial(time == Time::Virtual ? &Clock : nullptr) {
        Form = std::make_unique<Form1>(&Serial, &Boxes, time == Time::Virtual ? &Clock : nullptr);
        if (load) {
            Form->Form_Load();
        }
    }
    Form1* operator->() const { return Form.get(); }
    CheckerState& State() const { return Form->State; }
    bool Virtual() const { return &Form->Time() == &Clock; }

    // Serves events for the given time, as the window's own loop would.
    void Pump(int ms) {
        if (Virtual()) {
            Clock.RunFor(ms);
        } else {
            QTest::qWait(ms);
        }
    }
    // Milliseconds a callable takes on the window's clock.
    template <typename F> qint64 ElapsedMs(F&& run) {
        const qint64 start = Serial.NowMs();
        run();
        return Serial.NowMs() - start;
    }
    // Serves events until done() holds or maxMs have passed.
    bool PumpUntil(const std::function<bool()>& done, int maxMs) {
        return Virtual() ? Clock.RunUntil(done, maxMs) : QTest::qWaitFor(done, maxMs);
    }
};

// Milliseconds a callable takes.
template <typename F> qint64 TimeMs(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return t.elapsed();
}
