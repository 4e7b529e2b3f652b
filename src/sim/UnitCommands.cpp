// The unit's command set: what each command does to the unit and what it
// answers. Every accepted command gets exactly one reply: the data asked for,
// "QX" and the code for a command carried out, "Q!" and the code for a known
// command with unusable arguments, "Q?" and the text for an unknown command.

#include "sim/ReplyText.h"
#include "sim/UnitModel.h"

#include "link/HexText.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

QByteArray Hex2Bytes(int value) {
    return Hex2(value).toLatin1();
}
QByteArray Hex4Bytes(int value) {
    return Hex2Bytes(value >> 8) + Hex2Bytes(value);
}

// The line digit "0".."3" as a number, or -1.
int LineNumber(char digit) {
    return digit >= '0' && digit <= '3' ? digit - '0' : -1;
}

// A field of exactly two hex digits, or -1.
int HexByte(QByteArrayView digits) {
    if (digits.size() != 2) {
        return -1;
    }
    const int high = HexDigitValue(static_cast<unsigned char>(digits[0]));
    const int low = HexDigitValue(static_cast<unsigned char>(digits[1]));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

QByteArray Refused(QByteArrayView code) {
    return "Q!" + code.toByteArray();
}

QByteArray Unknown(QByteArrayView text) {
    return "Q?" + text.first(std::min<qsizetype>(text.size(), 16)).toByteArray();
}

} // namespace

QByteArray UnitModel::Execute(const QByteArray& text, qint64 nowMs) {
    const QByteArrayView t(text);
    if (t == "QV") {
        return VersionReplyBody(Settings.Family);
    }
    if (t == "QA") {
        return CellReply();
    }
    if (t.startsWith("QB")) {
        return LineReply(t.sliced(2));
    }
    if (t.startsWith("Qf")) {
        return RecordReply(t.sliced(2), nowMs);
    }
    if (t.startsWith("Q:")) {
        return WriteLine(t.sliced(2));
    }
    if (t.startsWith("QW")) {
        return WriteBit(t.sliced(2));
    }
    if (t.startsWith("QM")) {
        return WriteHalfRow(t.sliced(2));
    }
    if (t.startsWith("QR")) {
        return SetRecordScan(t, nowMs);
    }
    if (t == "QC") {
        LineMemory = {};
        return "QXC";
    }
    if ((t == "QE" || t == "QG") && Settings.Faults.NoCounter) {
        return Unknown(t); // a unit built without the counter
    }
    if (t == "QE") {
        CounterStartMs = nowMs;
        return "QXE";
    }
    if (t == "QG") {
        return CounterReplyBody(Counter(nowMs));
    }
    if (t == "QJD" || t == "QND") {
        return "QX" + t.sliced(1).toByteArray();
    }
    if (t == "QF") {
        EndSession(nowMs);
        return "QXF";
    }
    if (t == "Qy" || t == "Qw" || t.startsWith("Qz")) {
        return SensorReply(t, nowMs);
    }
    return Unknown(t);
}

void UnitModel::StopRecordScan(qint64 nowMs) {
    if (ScanRunning) {
        ScanRunning = false;
        ScanStoppedMs = nowMs;
    }
}

void UnitModel::EndSession(qint64 nowMs) {
    StopRecordScan(nowMs);
    if (Settings.Family != UnitFamily::Zel && CurrentState != UnitState::Off &&
        CurrentState != UnitState::ModemSetup) {
        CurrentState = UnitState::Idle; // back on-hook
    }
}

QByteArray UnitModel::SetRecordScan(QByteArrayView text, qint64 nowMs) {
    // "QRF" and a count start the record scan over units 1..count; "QRD"
    // (optionally with a count, "QRD00") stops it. "QRD" is the last of the
    // opening commands after CONNECT.
    const QByteArrayView code = text.first(std::min<qsizetype>(text.size(), 3));
    const QByteArrayView count = text.sliced(code.size());
    if (code == "QRD" && (count.isEmpty() || HexByte(count) >= 0)) {
        StopRecordScan(nowMs);
        if (CurrentState == UnitState::Opening) {
            CurrentState = UnitState::Online;
        }
        return "QXRD";
    }
    const int n = HexByte(count);
    if (code == "QRF" && n >= 1) {
        ScanRunning = true;
        ScanSampled = true;
        ScanCount = n;
        return "QXRF";
    }
    return Refused(code.sliced(1));
}

QByteArray UnitModel::RecordReply(QByteArrayView args, qint64 nowMs) const {
    // "Qf", the line digit, two hex digits of the record index.
    const int line = args.isEmpty() ? -1 : LineNumber(args[0]);
    const int index = HexByte(args.sliced(std::min<qsizetype>(args.size(), 1)));
    if (line < 0 || index < 0) {
        return Refused("f");
    }
    const UnitRecord record = Record(index, nowMs);
    return "Qf" + args.toByteArray() +
           LsdFirstDigits(QByteArrayView(reinterpret_cast<const char*>(record.data()),
                                         static_cast<qsizetype>(record.size())));
}

QByteArray UnitModel::LineReply(QByteArrayView args) const {
    const int line = args.size() == 1 ? LineNumber(args[0]) : -1;
    if (line < 0) {
        return Refused("B");
    }
    return "QB" + args.toByteArray() +
           LsdFirstDigits(ReportedLine(line).first(Settings.ScanBits / 8));
}

QByteArray UnitModel::CellReply() const {
    QByteArray body("QD");
    for (int cell = 0; cell < Settings.ScanBits; ++cell) {
        int v = 0;
        for (int line = 0; line < kLines; ++line) {
            v |= ReportedBit(line, cell) << line;
        }
        body.append(kHexDigits[v]);
    }
    return body;
}

QByteArray UnitModel::WriteLine(QByteArrayView args) {
    // Line digit, two hex digits of the first byte written, then the bytes as
    // hex digit pairs, high digit first.
    const bool shaped = args.size() >= 5;
    const int line = shaped ? LineNumber(args[0]) : -1;
    const int first = shaped ? HexByte(args.sliced(1, 2)) : -1;
    QByteArray data;
    if (line < 0 || first < 0 || !ReadMsdFirstBytes(args.sliced(3), &data) ||
        first + data.size() > kLineBytes) {
        return Refused(":");
    }
    for (qsizetype i = 0; i < data.size(); ++i) {
        LineMemory[line][first + i] = static_cast<uint8_t>(data[i]);
    }
    return "QX:";
}

QByteArray UnitModel::WriteBit(QByteArrayView args) {
    // Line digit, cell as two hex digits, "3" sets the bit, "2" clears it.
    const int line = args.size() == 4 ? LineNumber(args[0]) : -1;
    const int cell = args.size() == 4 ? HexByte(args.sliced(1, 2)) : -1;
    const char state = args.size() == 4 ? args[3] : '\0';
    if (line < 0 || cell < 0 || (state != '2' && state != '3')) {
        return Refused("W");
    }
    const uint8_t mask = static_cast<uint8_t>(1u << (cell % 8));
    if (state == '3') {
        LineMemory[line][cell / 8] |= mask;
    } else {
        LineMemory[line][cell / 8] &= static_cast<uint8_t>(~mask);
    }
    return "QXW";
}

QByteArray UnitModel::WriteHalfRow(QByteArrayView args) {
    // Line digit, first cell of the half row (a multiple of 8) as two hex
    // digits, the byte as two hex digits.
    const int line = args.size() == 5 ? LineNumber(args[0]) : -1;
    const int cell = args.size() == 5 ? HexByte(args.sliced(1, 2)) : -1;
    const int value = args.size() == 5 ? HexByte(args.sliced(3, 2)) : -1;
    if (line < 0 || cell < 0 || cell % 8 != 0 || value < 0) {
        return Refused("M");
    }
    LineMemory[line][cell / 8] = static_cast<uint8_t>(value);
    return "QXM";
}

QByteArray UnitModel::SensorReply(QByteArrayView text, qint64 nowMs) const {
    const qint64 t = UnitMs(nowMs);
    const char output = ScanRunning ? '1' : '0';
    const char input = kHexDigits[(t / 5000) % 16];
    if (text == "Qw") {
        return QByteArray("Qw") + output + input;
    }
    if (text == "Qy") {
        QByteArray body("Qy");
        for (int reading : BoardThermistorReadings(t)) {
            body += Hex4Bytes(reading);
        }
        return body + output + input;
    }
    // "Qz" and the A/D channel 0..7: reading, range letter, conversions, gain.
    const int channel = text.size() == 3 && text[2] >= '0' && text[2] <= '7' ? text[2] - '0' : -1;
    if (channel < 0) {
        return Refused("z");
    }
    const int reading = 500 * channel + Drift(t + 7000 * channel, 40000, 0, 300);
    return QByteArray("Qz") + text[2] + Hex4Bytes(reading) + 'N' +
           Hex2Bytes(static_cast<int>(t / 100)) + '1';
}
