#pragma once

// A window on a fake port that also notes, for every write, whether the
// polling timer was enabled at that moment; and frame bytes built here from
// first principles, so that the panel tests do not lean on the framing code.

#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "VirtualClock.h"
#include "core/Form1.h"

#include <QTest>

#include <functional>
#include <memory>

class WatchingSerial : public FakeSerialControl {
public:
    using FakeSerialControl::FakeSerialControl;
    std::function<void()> BeforeOutput;
    void Output(const QByteArray& bytes) override {
        if (BeforeOutput) {
            BeforeOutput();
        }
        FakeSerialControl::Output(bytes);
    }
};

// It runs in virtual time.
struct PanelFixture {
    VirtualClock Clock;
    WatchingSerial Serial{&Clock};
    FakeMessageBoxes Boxes;
    std::unique_ptr<Form1> Form;
    QList<bool> PollingAtWrite; // Timer1->Enabled() as each write left

    PanelFixture() {
        Form = std::make_unique<Form1>(&Serial, &Boxes, &Clock);
        Form->Form_Load();
        Serial.BeforeOutput = [this] { PollingAtWrite.append(Form->Timer1->Enabled()); };
        Forget();
    }
    Form1* operator->() const { return Form.get(); }
    CheckerState& State() const { return Form->State; }

    // Drops what start-up wrote, so a test sees only its own traffic.
    void Forget() {
        Serial.ClearWrites();
        PollingAtWrite.clear();
    }

    // Bytes from the unit, handled as they would be when they arrive.
    // The receive handler takes the whole frame in one call, so the reply
    // has been dispatched once nothing is left waiting.
    void Deliver(const QByteArray& codeAndData) {
        Serial.Receive(FakeSerialControl::Reply(codeAndData));
        QVERIFY(Clock.RunUntil([this] { return Serial.Incoming.isEmpty(); }, 5000));
    }

    // The mouse on cell i of the bit monitor, at the cell's middle.
    void ClickCell(int i, Qt::MouseButton button = Qt::LeftButton) const {
        QTest::mouseClick(Form->Monitor, button, {}, Form->Monitor->CellCenter(i));
    }
    void MoveOverCell(int i) const {
        QTest::mouseMove(Form->Monitor, Form->Monitor->CellCenter(i));
    }
};

// A table row of hex bytes written with blanks between them.
inline QByteArray Digits(const char* row) {
    return QByteArray(row).replace(' ', "");
}
