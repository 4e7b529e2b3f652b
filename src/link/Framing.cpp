#include "link/Framing.h"

#include "link/HexText.h"

QByteArray getsum(QByteArrayView bytes) {
    int sum = 0;
    for (char c : bytes) {
        sum = (sum + static_cast<unsigned char>(c)) & 255;
    }
    return Hex2(sum).toLatin1();
}

QByteArray CommandFrame(QByteArrayView codeAndArguments) {
    QByteArray frame = ModemLine(codeAndArguments);
    return frame + getsum(frame);
}

QByteArray ModemLine(QByteArrayView text) {
    return QByteArray("\r\n") + text.toByteArray() + QByteArray("\r\n");
}
