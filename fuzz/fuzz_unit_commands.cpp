// The simulated unit's command input: the unit powered on and fed what a
// checker might send, with quiet gaps, while its timers run.
//
// Byte 0 builds the unit: bits 0-1 the ROM family (LUP, RAV, ZEL; 3 is ZEL),
// bits 2-3 the line size (32, 64, 128, 256 bits), bit 4 delivers bytes in
// bursts instead of a millisecond apart. The rest is data and quiet gaps
// (FuzzLine.h). Everything the unit sends must be a frame the checker can take:
// a checksummed reply with the right sum or one of its modem command lines.
#include "FuzzLine.h"

#include "link/HexText.h"
#include "sim/UnitModel.h"

namespace {

void CheckSent(const QByteArray& frame) {
    FUZZ_CHECK(frame.size() < 12801);
    if (frame.startsWith("\r\n")) {
        // CR LF body CR LF and two upper-case hex digits of the byte sum.
        FUZZ_CHECK(frame.size() >= 8);
        const qsizetype n = frame.size() - 2;
        FUZZ_CHECK(frame[n - 2] == '\r' && frame[n - 1] == '\n' && frame[2] == 'Q');
        unsigned sum = 0;
        for (qsizetype i = 0; i < n; ++i) {
            sum += static_cast<uint8_t>(frame[i]);
        }
        const QByteArray digits = frame.right(2);
        FUZZ_CHECK(digits == digits.toUpper());
        FUZZ_CHECK(HexDigitValue(static_cast<uint8_t>(digits[0])) * 16 +
                       HexDigitValue(static_cast<uint8_t>(digits[1])) ==
                   static_cast<int>(sum % 256));
        // No CR or LF inside the body: the checker would end the frame there.
        FUZZ_CHECK(!frame.mid(2, n - 4).contains('\r') && !frame.mid(2, n - 4).contains('\n'));
    } else {
        FUZZ_CHECK(frame.startsWith("AT") && frame.endsWith('\r'));
    }
}

// Runs the unit's timers and takes what it sends up to nowMs.
void RunUntil(UnitModel& unit, qint64 nowMs) {
    unit.Tick(nowMs);
    for (const QByteArray& frame : unit.TakeDueFrames(nowMs)) {
        CheckSent(frame);
    }
    FUZZ_CHECK(unit.QueuedFrameCount() <= UnitModel::kMaxQueuedFrames + 1);
    for (const UnitTraceEvent& event : unit.TakeTrace()) {
        FUZZ_CHECK(!FormatTraceEvent(event).isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    UnitConfig config;
    const int family = data[0] & 3;
    config.Family = family == 0 ? UnitFamily::Lup : family == 1 ? UnitFamily::Rav : UnitFamily::Zel;
    config.ScanBits = 32 << ((data[0] >> 2) & 3);
    const bool paced = (data[0] & 0x10) == 0;
    UnitModel unit(config);
    qint64 now = 0;
    unit.PowerOn(now);
    for (const LineByte& b : DecodeLine(data + 1, size - 1)) {
        if (b.GapMs > 0) {
            // Serve the unit's own times inside the gap, as its host does.
            const qint64 until = now + b.GapMs;
            int wakes = 0;
            for (qint64 wake = unit.NextWakeMs(); wake >= 0 && wake <= until;
                 wake = unit.NextWakeMs()) {
                // Each wake-up moves the unit on; one that stays due spins its host.
                FUZZ_CHECK(wake >= now && ++wakes < 100000);
                now = wake;
                RunUntil(unit, now);
            }
            now = until;
        }
        RunUntil(unit, now);
        const char byte = static_cast<char>(b.Byte);
        unit.Receive(QByteArrayView(&byte, 1), now);
        if (paced) {
            ++now;
        }
    }
    // Let the unit answer what it still owes.
    for (int i = 0; i < 100; ++i) {
        const qint64 wake = unit.NextWakeMs();
        if (wake < 0) {
            break;
        }
        now = std::max(now, wake);
        RunUntil(unit, now);
    }
    FUZZ_CHECK(unit.Commands().size() <= UnitModel::kMaxLogged);
    return 0;
}
