#pragma once

// The window on the real serial control, its COM1 mapped to a device (the
// unit's end of a pseudo-terminal, or a link to it), with scripted message
// boxes. Form_Load is left to the test, which may wire logs or power the unit
// on first.
#include "FakeMessageBoxes.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

inline PortNames Com1On(const QString& device) {
    PortNames names;
    names.Map(1, device);
    return names;
}

struct RealPortWindow {
    QtSerialControl Serial;
    FakeMessageBoxes Boxes;
    Form1 Form;

    explicit RealPortWindow(const QString& device)
        : Serial(Com1On(device)), Form(&Serial, &Boxes) {}

    // Starts the window as the program does; true when COM1 opened.
    bool Load() {
        Form.Form_Load();
        return Serial.PortOpen();
    }
};
