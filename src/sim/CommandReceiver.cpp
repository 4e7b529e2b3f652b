#include "sim/CommandReceiver.h"

#include "link/HexText.h"

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
} // namespace

bool IsModemResultText(QByteArrayView text) {
    static const char* const kResults[] = {
        "OK", "CONNECT", "RING", "NO CARRIER", "ERROR", "BUSY", "NO DIALTONE", "NO ANSWER",
        "0",  "1",       "2",    "3",          "4",     "6",    "7",           "8"};
    for (const char* result : kResults) {
        if (text == QByteArrayView(result)) {
            return true;
        }
    }
    return false;
}

QList<InboundFrame> CommandReceiver::Feed(QByteArrayView bytes, qint64 nowMs) {
    QList<InboundFrame> out;
    for (char byte : bytes) {
        Take(byte, &out);
    }
    if (!bytes.isEmpty()) {
        lastByteMs_ = nowMs;
    }
    return out;
}

QList<InboundFrame> CommandReceiver::Expire(qint64 nowMs) {
    QList<InboundFrame> out;
    if (!bytes_.isEmpty() && nowMs - lastByteMs_ >= kStaleMs) {
        Finish(InboundKind::Malformed, &out);
    }
    return out;
}

qint64 CommandReceiver::ExpiryMs() const {
    return bytes_.isEmpty() ? -1 : lastByteMs_ + kStaleMs;
}

void CommandReceiver::Clear() {
    stage_ = Stage::Hunt;
    bytes_.clear();
    text_.clear();
    sum_ = 0;
}

void CommandReceiver::StartFrame(char cr) {
    stage_ = Stage::OpeningLf;
    bytes_ = QByteArray(1, cr);
    text_.clear();
    sum_ = static_cast<unsigned char>(cr);
}

void CommandReceiver::Finish(InboundKind kind, QList<InboundFrame>* out) {
    InboundFrame frame;
    frame.kind = kind;
    frame.text = text_;
    frame.bytes = bytes_;
    frame.sum = sum_;
    out->append(frame);
    stage_ = Stage::Hunt;
    bytes_.clear();
    text_.clear();
    sum_ = 0;
}

void CommandReceiver::Take(char byte, QList<InboundFrame>* out) {
    const auto b = static_cast<unsigned char>(byte);
    switch (stage_) {
    case Stage::Hunt:
        if (byte == kCr) {
            if (!bytes_.isEmpty()) {
                Finish(InboundKind::Malformed, out); // stray bytes before the frame
            }
            StartFrame(byte);
        } else {
            bytes_.append(byte);
            if (bytes_.size() > kMaxText) {
                Finish(InboundKind::Malformed, out);
            }
        }
        return;
    case Stage::OpeningLf:
    case Stage::ClosingLf:
        if (byte != kLf) {
            Finish(InboundKind::Malformed, out);
            Take(byte, out); // the byte may open the next frame
            return;
        }
        bytes_.append(byte);
        sum_ = (sum_ + b) & 0xFF;
        if (stage_ == Stage::OpeningLf) {
            stage_ = Stage::Text;
        } else if (IsModemResultText(text_)) {
            Finish(InboundKind::ModemResult, out);
        } else {
            stage_ = Stage::Sum1;
        }
        return;
    case Stage::Text:
        if (byte == kCr) {
            bytes_.append(byte);
            sum_ = (sum_ + b) & 0xFF;
            stage_ = Stage::ClosingLf;
        } else if (byte == kLf || text_.size() >= kMaxText) {
            bytes_.append(byte);
            Finish(InboundKind::Malformed, out);
        } else {
            bytes_.append(byte);
            text_.append(byte);
            sum_ = (sum_ + b) & 0xFF;
        }
        return;
    case Stage::Sum1:
    case Stage::Sum2: {
        const int digit = HexDigitValue(b);
        if (digit < 0) {
            Finish(InboundKind::Malformed, out); // checksum missing
            Take(byte, out);
            return;
        }
        bytes_.append(byte);
        if (stage_ == Stage::Sum1) {
            firstDigit_ = digit;
            stage_ = Stage::Sum2;
        } else {
            const bool right = firstDigit_ * 16 + digit == sum_;
            Finish(right ? InboundKind::Command : InboundKind::BadChecksum, out);
        }
        return;
    }
    }
}
