// Saves the window as it looks right after start-up, on a port that stays
// silent, as a PNG file: for comparing what the window shows before and after
// a change to how it is built.
//   window_grab FILE.png
#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "core/Form1.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_grab FILE.png\n");
        return 64;
    }
    FakeSerialControl serial;
    FakeMessageBoxes boxes;
    Form1 form(&serial, &boxes);
    form.show();
    form.Form_Load();
    QApplication::processEvents();
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window_grab: cannot write %s\n", argv[1]);
        return 74;
    }
    return 0;
}
