// The readers of the short replies fed reply texts, without a window.
//
// Byte 0 picks the reader (0 "QV", 1 "QG", 2 "Qz", 3 "Qy", 4 "Qw", modulo
// 5); the rest is the frame text as the receiver hands it on, 1-based
// positions from its first byte.
#include "FuzzLine.h"

#include "decode/ReplyRead.h"

namespace {

// The characters of the text at 1-based position and width, cut at its end.
QByteArray At(QByteArrayView text, int position, int width) {
    if (position > text.size()) {
        return {};
    }
    return text.sliced(position - 1)
        .first(std::min<qsizetype>(width, text.size() - position + 1))
        .toByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const QByteArrayView text(reinterpret_cast<const char*>(data + 1),
                              static_cast<qsizetype>(size - 1));
    switch (data[0] % 5) {
    case 0: {
        const RomVersion r = ReadVersionReply(text);
        FUZZ_CHECK(r.Name == At(text, 6, 8));
        FUZZ_CHECK(r.Date == At(text, At(text, 6, 2) == "RA" ? 23 : 24, 8));
        break;
    }
    case 1: {
        const int32_t counter = ReadCounterReply(text);
        FUZZ_CHECK(counter >= 0 && counter <= 0xFFFFFF);
        break;
    }
    case 2: {
        const SensorChannel r = ReadSensorChannelReply(text);
        FUZZ_CHECK(r.Channel >= 0 && r.Channel <= 9);
        FUZZ_CHECK(r.Flag == At(text, 10, 1));
        FUZZ_CHECK(r.Level <= 0xFF);
        FUZZ_CHECK(r.State <= 0xF);
        break;
    }
    case 3: {
        const SensorReadings r = ReadSensorReply(text);
        FUZZ_CHECK(r.OutPort == At(text, 21, 1));
        FUZZ_CHECK(r.InPort == At(text, 22, 1));
        break;
    }
    default: {
        const PortStates r = ReadPortsReply(text);
        FUZZ_CHECK(r.OutPort == At(text, 5, 1));
        FUZZ_CHECK(r.InPort == At(text, 6, 1));
        break;
    }
    }
    return 0;
}
