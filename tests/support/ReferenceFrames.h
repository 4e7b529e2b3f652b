#pragma once

// Frames as they stand on the wire, built here independently of the link
// library's framing code: a fault in that code then shows as a mismatch
// instead of cancelling out between what a test expects and what is sent.

#include <QByteArray>
#include <QByteArrayView>

// Two upper-case hex digits of the byte sum of `bytes`, modulo 256.
inline QByteArray ReferenceChecksum(QByteArrayView bytes) {
    unsigned sum = 0;
    for (char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    static const char digits[] = "0123456789ABCDEF";
    const char pair[2] = {digits[(sum >> 4) & 15], digits[sum & 15]};
    return QByteArray(pair, 2);
}

// A checksummed frame: CR LF, code and data, CR LF, then the checksum of all
// that. Commands from the checker and replies from the unit share the form.
inline QByteArray Wire(QByteArrayView codeAndData) {
    const QByteArray body = "\r\n" + codeAndData.toByteArray() + "\r\n";
    return body + ReferenceChecksum(body);
}

// A line without checksum, as modem lines and result lines travel.
inline QByteArray RawLine(QByteArrayView text) {
    return "\r\n" + text.toByteArray() + "\r\n";
}
