#include "link/HexText.h"

QString Hex2(int value) {
    return QString::number(value & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString Hex1(int value) {
    return QString::number(value & 0xF, 16).toUpper();
}

int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

uint32_t ReadHex(QByteArrayView digits) {
    uint32_t value = 0;
    for (char ch : digits) {
        const int d = HexDigitValue(static_cast<unsigned char>(ch));
        if (d < 0) {
            break;
        }
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

uint32_t ReadDecimal(QByteArrayView digits) {
    uint32_t value = 0;
    for (char ch : digits) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

QByteArrayView Field(QByteArrayView text, int position, int width) {
    const qsizetype start = position - 1;
    if (start < 0 || start >= text.size() || width <= 0) {
        return {};
    }
    return text.sliced(start, std::min<qsizetype>(width, text.size() - start));
}

uint32_t FieldHex(QByteArrayView text, int position, int width) {
    return ReadHex(Field(text, position, width));
}

int16_t FieldHexSigned16(QByteArrayView text, int position) {
    return static_cast<int16_t>(static_cast<uint16_t>(FieldHex(text, position, 4) & 0xFFFF));
}

uint32_t FieldDecimal(QByteArrayView text, int position, int width) {
    return ReadDecimal(Field(text, position, width));
}
