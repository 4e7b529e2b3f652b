#include "link/Frame.h"

#include "link/HexText.h"

#include <algorithm>

namespace {

int ByteSum(QByteArrayView bytes) {
    int sum = 0;
    for (char c : bytes) {
        sum = (sum + static_cast<unsigned char>(c)) & 255;
    }
    return sum;
}

// Code, arguments and checksums of a frame that starts with CR LF.
void ReadLine(Frame& frame, bool hasCode) {
    const QByteArrayView rest = QByteArrayView(frame.Bytes).sliced(2);
    const qsizetype cr = rest.indexOf('\r');
    const QByteArrayView text = cr < 0 ? rest : rest.first(cr);
    if (hasCode) {
        frame.Code = text.first(std::min<qsizetype>(text.size(), 2)).toByteArray();
        frame.Arguments = text.sliced(frame.Code.size()).toByteArray();
    } else {
        frame.Arguments = text.toByteArray();
    }
    const qsizetype closing = 2 + text.size();
    if (!QByteArrayView(frame.Bytes).sliced(closing).startsWith("\r\n")) {
        return;
    }
    frame.ComputedSum = ByteSum(QByteArrayView(frame.Bytes).first(closing + 2));
    if (frame.Bytes.size() >= closing + 4) {
        const int high = HexDigitValue(static_cast<unsigned char>(frame.Bytes[closing + 2]));
        const int low = HexDigitValue(static_cast<unsigned char>(frame.Bytes[closing + 3]));
        if (high >= 0 && low >= 0) {
            frame.ReceivedSum = high * 16 + low;
        }
    }
}

} // namespace

FrameKind ClassifyFrame(QByteArrayView bytes, LineDirection direction) {
    const bool crLfFirst = bytes.startsWith("\r\n");
    if (direction == LineDirection::ToUnit) {
        // Both start with CR LF; only the command has its checksum after the
        // closing CR LF.
        if (!crLfFirst) {
            return FrameKind::Unknown;
        }
        return bytes.size() > 2 && bytes.endsWith("\r\n") ? FrameKind::ModemLine
                                                          : FrameKind::Command;
    }
    if (bytes.startsWith("+")) {
        return FrameKind::Escape;
    }
    if (bytes.startsWith("A")) {
        return FrameKind::ModemCommand;
    }
    if (bytes.startsWith("\r\nQ")) {
        return FrameKind::Reply;
    }
    return crLfFirst ? FrameKind::ResultLine : FrameKind::Unknown;
}

Frame ReadFrame(QByteArrayView bytes, LineDirection direction) {
    Frame frame;
    frame.Kind = ClassifyFrame(bytes, direction);
    frame.Bytes = bytes.toByteArray();
    switch (frame.Kind) {
    case FrameKind::Command:
    case FrameKind::Reply:
        ReadLine(frame, true);
        break;
    case FrameKind::ModemLine:
    case FrameKind::ResultLine:
        ReadLine(frame, false);
        break;
    case FrameKind::ModemCommand: {
        const qsizetype cr = bytes.indexOf('\r');
        frame.Arguments = (cr < 0 ? bytes : bytes.first(cr)).toByteArray();
        break;
    }
    case FrameKind::Escape:
    case FrameKind::Unknown:
        break;
    }
    return frame;
}

QString FrameKindName(FrameKind kind) {
    switch (kind) {
    case FrameKind::Command:
        return QStringLiteral("command");
    case FrameKind::ModemLine:
        return QStringLiteral("modem-line");
    case FrameKind::Reply:
        return QStringLiteral("reply");
    case FrameKind::ModemCommand:
        return QStringLiteral("modem-command");
    case FrameKind::ResultLine:
        return QStringLiteral("result-line");
    case FrameKind::Escape:
        return QStringLiteral("escape");
    case FrameKind::Unknown:
        break;
    }
    return QStringLiteral("frame");
}

QByteArray getsum(QByteArrayView bytes) {
    return Hex2(ByteSum(bytes)).toLatin1();
}

QByteArray CommandFrame(QByteArrayView codeAndArguments) {
    QByteArray frame = ModemLine(codeAndArguments);
    return frame + getsum(frame);
}

QByteArray ModemLine(QByteArrayView text) {
    return QByteArray("\r\n") + text.toByteArray() + QByteArray("\r\n");
}

QByteArray ModemCommandLine(QByteArrayView text) {
    return text.toByteArray() + '\r';
}
