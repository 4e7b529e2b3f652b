// The help menu's boxes and the two option groups that steer what is read:
// the monitor line and the read command.
#include "core/Form1.h"
#include "unit/HelpTexts.h"

void Form1::menuHelp_mokuji_Click() {
    Boxes->Information(HelpTitle(), HelpText());
}

void Form1::menuHelp_version_Click() {
    Boxes->Information(VersionTitle(), VersionText());
}

void Form1::Option1_Click(int index) {
    if (index < 0 || index > 3) {
        return;
    }
    Timer1->SetEnabled(false);
    WaitTimer(300);
    if (Closing()) {
        return; // the window closed during the pause: polling stays off
    }
    const int oldLine = State.ScanLine;
    State.ScanLine = static_cast<int16_t>(index);
    // The grid goes on showing the old line until the new line's first scan.
    // ShownBits records that for the new line; it is kept state only, since
    // the refresh repaints each cell by the colour it shows, not by this copy.
    for (int i = 0; i < 256; ++i) {
        State.ShownBits.at(static_cast<std::size_t>(256 * index + i)) =
            State.ShownBits.at(static_cast<std::size_t>(256 * oldLine + i));
    }
    Timer1->SetEnabled(true);
}

void Form1::Option3_Click(int index) {
    if (index == 0) {
        State.ReadCommandMode = 0;
        Frame7->setVisible(true);
    } else if (index == 1) {
        State.ReadCommandMode = 1;
        Frame7->setVisible(false);
    }
}
