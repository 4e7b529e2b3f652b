// Figures for the checker's pure paths: command framing and the checksum, the
// reply receiver for each kind of frame, the scan parsers, and the decoding of
// one unit record by each unit type. Nothing here touches a window or a port.
#include "core/CheckerState.h"
#include "decode/ScanParse.h"
#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"
#include "link/Frame.h"
#include "link/ReplyReceiver.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// CR LF text CR LF and the two checksum digits, as the unit sends a reply.
QByteArray Reply(const QByteArray& codeAndData) {
    const QByteArray body = "\r\n" + codeAndData + "\r\n";
    return body + getsum(body);
}

// Hex digits that differ from cell to cell and from seed to seed.
QByteArray Digits(int count, int seed) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        out += "0123456789ABCDEF"[(i * 7 + seed * 3) & 15];
    }
    return out;
}

void FramingCommand(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(CommandFrame("QW12A3"));
    }
}
BENCHMARK(FramingCommand);

void ChecksumOf264Bytes(benchmark::State& state) {
    const QByteArray frame = Reply("QD" + Digits(256, 1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(getsum(frame));
    }
    state.SetBytesProcessed(state.iterations() * frame.size());
}
BENCHMARK(ChecksumOf264Bytes);

// One frame fed byte by byte; a frame that ends by silence is closed as the
// collector closes it when the line goes quiet.
void Receive(benchmark::State& state, const QByteArray& frame, ReplyReceiver::Result expected) {
    std::vector<uint8_t> buffer(CheckerState::kReceiveBufferSize);
    for (auto _ : state) {
        ReplyReceiver rx(buffer.data(), static_cast<int>(buffer.size()));
        ReplyReceiver::Result result = ReplyReceiver::Result::Collecting;
        for (const char c : frame) {
            result = rx.Feed(static_cast<uint8_t>(c));
        }
        if (result == ReplyReceiver::Result::Collecting) {
            result = rx.EndBySilence();
        }
        if (result != expected) {
            state.SkipWithError("the frame was not received as expected");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * frame.size());
}
using R = ReplyReceiver::Result;
BENCHMARK_CAPTURE(Receive, QV, Reply("QVZEL10-03 V1.13"), R::Accepted);
BENCHMARK_CAPTURE(Receive, QB_64_digits, Reply("QB1" + Digits(64, 2)), R::Accepted);
BENCHMARK_CAPTURE(Receive, Qf, Reply("Qf1" + Digits(66, 3)), R::Accepted);
BENCHMARK_CAPTURE(Receive, QD_256_cells, Reply("QD" + Digits(256, 4)), R::Accepted);
BENCHMARK_CAPTURE(Receive, modem_command_line, QByteArray("AT&F&C1&D2S0=1\r"), R::Accepted);
BENCHMARK_CAPTURE(Receive, modem_result_line, QByteArray("\r\nOK\r\n"), R::Accepted);

// The frame text the dispatcher hands on: CR LF code data CR LF.
QByteArray Text(const QByteArray& codeAndData) {
    return "\r\n" + codeAndData + "\r\n";
}

void ParseQD(benchmark::State& state) {
    CheckerState st;
    const QByteArray text = Text("QD" + Digits(256, 5));
    std::copy(text.begin(), text.end(), st.ReceiveBuffer.begin());
    st.ScanBitLast = 255;
    for (auto _ : state) {
        ParseScanQD(st);
        benchmark::DoNotOptimize(st.ScanBits.data());
    }
}
BENCHMARK(ParseQD);

void ParseQB(benchmark::State& state) {
    CheckerState st;
    const QByteArray text = Text("QB1" + Digits(64, 6));
    st.ScanDigitLast = 63;
    st.ScanBitLast = 255;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseScanQB(st, text));
    }
}
BENCHMARK(ParseQB);

void ParseQf(benchmark::State& state) {
    CheckerState st;
    const QByteArray text = Text("Qf1" + Digits(66, 7));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseScanQf(st, text));
    }
}
BENCHMARK(ParseQf);

// A record of unit 3 (bytes 0 and 1 name the unit) with eight channels,
// decoded by the type given as the argument (0 "Imd" .. 8 "TH").
void DecodeRecord(benchmark::State& state) {
    CheckerState st;
    LoadThermistorText(st.ThermistorText);
    BuildThermistorTable(st.ThermistorText, st.ThermistorTable);
    QByteArray data = "3030" + Digits(60, 8);
    if (!ParseScanQf(st, Text("Qf1" + QByteArray("00") + data))) {
        state.SkipWithError("the record was refused");
        return;
    }
    st.ScanBitLast = 255;
    st.UnitData[3][0] = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeUnitRecord(st, 3));
    }
    state.SetLabel(UnitTypeCaptions().at(static_cast<int>(state.range(0))).toStdString());
}
BENCHMARK(DecodeRecord)->DenseRange(0, 8);

} // namespace

BENCHMARK_MAIN();
