#include "decode/ScanParse.h"

#include "link/HexText.h"

#include <algorithm>

namespace {

constexpr int kCellsPerLine = 256;
constexpr int kLines = 4;
constexpr int kRecordBytes = 32;
constexpr int kValues = 8;

// Reads the characters at the given 1-based positions of a data field, high
// digit first, as one hex group. Positions past the end add nothing.
uint32_t ReadGroup(QByteArrayView field, std::initializer_list<int> positionsHighFirst) {
    QByteArray group;
    for (int position : positionsHighFirst) {
        if (position >= 1 && position <= field.size()) {
            group += field[position - 1];
        }
    }
    return ReadHex(group);
}

// Fills one line's bits, the record bytes and the eight values from a data
// field; byteLast is the index of the last byte taken (at most 31).
void ParseRecordField(CheckerState& st, int line, QByteArrayView field, int byteLast) {
    st.ScanLine = static_cast<int16_t>(line);
    const int base = kCellsPerLine * line;
    for (int c = 0; c <= std::min(byteLast, kRecordBytes - 1); ++c) {
        const auto v = static_cast<int32_t>(ReadGroup(field, {2 * c + 2, 2 * c + 1}));
        for (int b = 0; b < 8; ++b) {
            st.ScanBits[static_cast<std::size_t>(base + 8 * c + b)] =
                static_cast<int16_t>((v >> b) & 1);
        }
        st.ScanBytes[static_cast<std::size_t>(c)] = v;
    }
    for (int d = 0; d < kValues; ++d) {
        st.ScanValues[static_cast<std::size_t>(d)] =
            static_cast<int16_t>(ReadGroup(field, {3 * d + 7, 3 * d + 6, 3 * d + 5}));
    }
}

} // namespace

int ScanReplyLine(QByteArrayView s) {
    const auto line = static_cast<int>(FieldDecimal(s, 5, 1));
    return line < kLines ? line : -1;
}

void ParseScanQD(CheckerState& st) {
    // An over-long rejected reply can leave a count above 255 behind; the
    // grid has 256 cells, so no more are read.
    const int last = std::min<int>(st.ScanBitLast, kCellsPerLine - 1);
    for (int i = 0; i <= last; ++i) {
        const int v = std::max(HexDigitValue(st.ReceiveBuffer[static_cast<std::size_t>(4 + i)]), 0);
        for (int line = 0; line < kLines; ++line) {
            st.ScanBits[static_cast<std::size_t>(kCellsPerLine * line + i)] =
                static_cast<int16_t>((v >> line) & 1);
        }
    }
}

bool ParseScanQB(CheckerState& st, QByteArrayView s) {
    const int line = ScanReplyLine(s);
    if (line < 0) {
        return false;
    }
    // 8, 16, 32 or 64 digits carry 4, 8, 16 or 32 bytes; a count outside the
    // record is held to its 64 characters.
    const int digitLast = std::clamp<int>(st.ScanDigitLast, -1, 2 * kRecordBytes - 1);
    const int byteLast = digitLast < 0 ? -1 : digitLast / 2;
    ParseRecordField(st, line, Field(s, 6, digitLast + 1), byteLast);
    return true;
}

bool ParseScanQf(CheckerState& st, QByteArrayView s) {
    const int line = ScanReplyLine(s);
    if (line < 0) {
        return false;
    }
    ParseRecordField(st, line, Field(s, 8, 2 * kRecordBytes), kRecordBytes - 1);
    return true;
}
