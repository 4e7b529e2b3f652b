#pragma once

#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "core/Form1.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

// A window wired to a fake port and scripted message boxes.
struct FormFixture {
    FakeSerialControl Serial;
    FakeMessageBoxes Boxes;
    std::unique_ptr<Form1> Form;

    explicit FormFixture(bool load = true) {
        Form = std::make_unique<Form1>(&Serial, &Boxes);
        if (load) {
            Form->Form_Load();
        }
    }
    Form1* operator->() const { return Form.get(); }
    CheckerState& State() const { return Form->State; }

    // Serves events for the given time (the window's own loop in the tests).
    static void Pump(int ms) { QTest::qWait(ms); }
};

// Milliseconds a callable takes.
template <typename F> qint64 TimeMs(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return t.elapsed();
}
