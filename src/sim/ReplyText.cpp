#include "sim/ReplyText.h"

#include "link/Frame.h"
#include "link/HexText.h"

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}

QByteArray ReplyFrame(QByteArrayView body) {
    return CommandFrame(body);
}

QByteArray LsdFirstDigits(QByteArrayView bytes) {
    QByteArray digits;
    digits.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        digits.append(kDigits[b & 0xF]);
        digits.append(kDigits[b >> 4]);
    }
    return digits;
}

bool ReadMsdFirstBytes(QByteArrayView digits, QByteArray* bytes) {
    if (digits.size() % 2 != 0) {
        return false;
    }
    QByteArray result;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int high = HexDigitValue(static_cast<unsigned char>(digits[i]));
        const int low = HexDigitValue(static_cast<unsigned char>(digits[i + 1]));
        if (high < 0 || low < 0) {
            return false;
        }
        result.append(static_cast<char>(high * 16 + low));
    }
    *bytes = result;
    return true;
}

QByteArray UnitRomDate(UnitFamily family) {
    switch (family) {
    case UnitFamily::Lup:
        return "99-11-26";
    case UnitFamily::Rav:
        return "00-03-14";
    case UnitFamily::Zel:
        break;
    }
    return "01-07-02";
}

QByteArray VersionReplyBody(UnitFamily family) {
    // "QV", board digit "3" (ZEL-03), name, board field, date.
    return QByteArray("QV3") + UnitRomName(family) + QByteArray("  ZEL-03  ") + UnitRomDate(family);
}

QByteArray CounterReplyBody(uint32_t value) {
    return QByteArray("QG") + Hex2(static_cast<int>(value >> 16)).toLatin1() +
           Hex2(static_cast<int>(value >> 8)).toLatin1() + Hex2(static_cast<int>(value)).toLatin1();
}
