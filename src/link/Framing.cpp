#include "link/Framing.h"

#include "link/HexText.h"

QString getsum(QStringView text) {
    int sum = 0;
    for (QChar c : text) {
        sum = (sum + c.unicode()) & 255;
    }
    return Hex2(sum);
}

QByteArray ChecksumDigits(QByteArrayView bytes) {
    int sum = 0;
    for (char c : bytes) {
        sum = (sum + static_cast<unsigned char>(c)) & 255;
    }
    return Hex2(sum).toLatin1();
}

QByteArray FrameBytes(QByteArrayView text) {
    if (text.isEmpty() || text.back() != 'Z') {
        return text.toByteArray();
    }
    const QByteArrayView body = text.first(text.size() - 1);
    return body.toByteArray() + ChecksumDigits(body);
}

QByteArray CommandText(QByteArrayView codeAndArguments) {
    return QByteArray("\r\n") + codeAndArguments.toByteArray() + QByteArray("\r\nZ");
}
