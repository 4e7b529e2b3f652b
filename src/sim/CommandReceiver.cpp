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
        LastByteMs = nowMs;
    }
    return out;
}

QList<InboundFrame> CommandReceiver::Expire(qint64 nowMs) {
    QList<InboundFrame> out;
    if (!Bytes.isEmpty() && nowMs - LastByteMs >= kStaleMs) {
        Finish(InboundKind::Malformed, &out);
    }
    return out;
}

qint64 CommandReceiver::ExpiryMs() const {
    return Bytes.isEmpty() ? -1 : LastByteMs + kStaleMs;
}

void CommandReceiver::Clear() {
    CurrentStage = Stage::Hunt;
    Bytes.clear();
    Text.clear();
    Sum = 0;
}

void CommandReceiver::StartFrame(char cr) {
    CurrentStage = Stage::OpeningLf;
    Bytes = QByteArray(1, cr);
    Text.clear();
    Sum = static_cast<unsigned char>(cr);
}

void CommandReceiver::Finish(InboundKind kind, QList<InboundFrame>* out) {
    InboundFrame frame;
    frame.Kind = kind;
    frame.Text = Text;
    frame.Bytes = Bytes;
    frame.Sum = Sum;
    out->append(frame);
    CurrentStage = Stage::Hunt;
    Bytes.clear();
    Text.clear();
    Sum = 0;
}

void CommandReceiver::Take(char byte, QList<InboundFrame>* out) {
    const auto b = static_cast<unsigned char>(byte);
    switch (CurrentStage) {
    case Stage::Hunt:
        if (byte == kCr) {
            if (!Bytes.isEmpty()) {
                Finish(InboundKind::Malformed, out); // stray bytes before the frame
            }
            StartFrame(byte);
        } else {
            Bytes.append(byte);
            if (Bytes.size() > kMaxText) {
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
        Bytes.append(byte);
        Sum = (Sum + b) & 0xFF;
        if (CurrentStage == Stage::OpeningLf) {
            CurrentStage = Stage::Text;
        } else if (IsModemResultText(Text)) {
            Finish(InboundKind::ModemResult, out);
        } else {
            CurrentStage = Stage::Sum1;
        }
        return;
    case Stage::Text:
        if (byte == kCr) {
            Bytes.append(byte);
            Sum = (Sum + b) & 0xFF;
            CurrentStage = Stage::ClosingLf;
        } else if (byte == kLf || Text.size() >= kMaxText) {
            Bytes.append(byte);
            Finish(InboundKind::Malformed, out);
        } else {
            Bytes.append(byte);
            Text.append(byte);
            Sum = (Sum + b) & 0xFF;
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
        Bytes.append(byte);
        if (CurrentStage == Stage::Sum1) {
            FirstDigit = digit;
            CurrentStage = Stage::Sum2;
        } else {
            const bool right = FirstDigit * 16 + digit == Sum;
            Finish(right ? InboundKind::Command : InboundKind::BadChecksum, out);
        }
        return;
    }
    }
}
