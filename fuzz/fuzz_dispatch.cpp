// The reply dispatcher fed frames, through a window with offscreen widgets and
// a fake serial control, as the receive handler hands them on.
//
// Byte 0 sets the scene: bit 0 says that the next 5 bytes give the ten units'
// type codes, one nibble each (9..15 are codes no selector writes); bit 1
// selects record scan polling (ScanMode "F"). The rest is frames separated by
// 0xFF; each is placed in the receive buffer from index 0 and dispatched with
// the index of its last byte, so several frames in one input meet the state
// the earlier ones left (a rejected scan size, another line, a unit's record).
//
// The window has been through its stop sequence before the first input: the
// dispatcher's waits (500 ms after "AT&", 1500 ms after "+++", the connect
// sequence after "QV") then return at once, and everything else runs as in a
// live window.
#include "FuzzLine.h"

#include "FakeMessageBoxes.h"
#include "FakeSerialControl.h"
#include "core/Form1.h"

#include <QApplication>

#include <cstring>

namespace {

struct Bench {
    FakeSerialControl Serial;
    FakeMessageBoxes Boxes;
    Form1 Form{&Serial, &Boxes};
};

Bench* TheBench = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static QApplication app(*argc, *argv);
    static Bench bench;
    bench.Form.Form_Load();
    bench.Boxes.Answers = {true};
    bench.Form.mnuExit_Click();
    QCoreApplication::processEvents();
    FUZZ_CHECK(bench.Form.Closing());
    TheBench = &bench;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    Form1& form = TheBench->Form;
    CheckerState& st = form.State;
    size_t at = 1;
    if ((data[0] & 1) != 0 && size >= 6) {
        for (int u = 1; u <= 10; ++u) {
            const uint8_t pair = data[1 + (u - 1) / 2];
            st.UnitData[static_cast<size_t>(u)][0] = u % 2 == 1 ? pair & 15 : pair >> 4;
        }
        at = 6;
    }
    st.ScanMode = (data[0] & 2) != 0 ? QStringLiteral("F") : QStringLiteral("D");
    std::array<int32_t, 11> types{};
    for (size_t u = 0; u < types.size(); ++u) {
        types[u] = st.UnitData[u][0];
    }

    while (at < size) {
        const auto* end = static_cast<const uint8_t*>(std::memchr(data + at, 0xFF, size - at));
        const size_t length = (end == nullptr ? data + size : end) - (data + at);
        if (length > 0) {
            const size_t stored = std::min(length, st.ReceiveBuffer.size());
            std::memcpy(st.ReceiveBuffer.data(), data + at, stored);
            // The receiver hands on at least index 1, and never past the buffer.
            form.DispatchReply(
                std::clamp(static_cast<int>(stored) - 1, 1, CheckerState::kReceiveBufferSize - 1));
            for (int16_t bit : st.ScanBits) {
                FUZZ_CHECK(bit == 0 || bit == 1);
            }
            FUZZ_CHECK(st.ScanLine >= 0 && st.ScanLine <= 3);
            for (size_t u = 0; u < types.size(); ++u) {
                FUZZ_CHECK(st.UnitData[u][0] == types[u]);
            }
        }
        at += length + 1;
    }
    TheBench->Serial.ClearWrites();
    return 0;
}
