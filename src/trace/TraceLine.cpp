#include "trace/TraceLine.h"

#include "link/HexText.h"

QString DirectionName(LineDirection direction) {
    switch (direction) {
    case LineDirection::ToUnit:
        return QStringLiteral("to-unit");
    case LineDirection::FromUnit:
        return QStringLiteral("from-unit");
    case LineDirection::None:
        break;
    }
    return QStringLiteral("-");
}

QString EscapeBytes(QByteArrayView bytes) {
    QString shown;
    shown.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            shown += QLatin1String("\\r");
            break;
        case '\n':
            shown += QLatin1String("\\n");
            break;
        case '\t':
            shown += QLatin1String("\\t");
            break;
        case '\\':
            shown += QLatin1String("\\\\");
            break;
        case '"':
            shown += QLatin1String("\\\"");
            break;
        default:
            if (b < 0x20 || b >= 0x7F) {
                shown += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
            } else {
                shown += QLatin1Char(c);
            }
        }
    }
    return shown;
}

namespace {

QString Verdict(const FrameOutcome& outcome, int bufferSize);

} // namespace

QString ReceiveVerdict(const FrameOutcome& outcome, int bufferSize) {
    QString verdict = Verdict(outcome, bufferSize);
    if (outcome.DroppedBytes > 0) {
        verdict += QStringLiteral("; %1 more read with it, dropped").arg(outcome.DroppedBytes);
    }
    return verdict;
}

namespace {

QString Verdict(const FrameOutcome& outcome, int bufferSize) {
    using Result = ReplyReceiver::Result;
    using Rejection = ReplyReceiver::Rejection;
    switch (outcome.Result) {
    case Result::Accepted:
        return QStringLiteral("accepted");
    case Result::ChecksumError: {
        const char received[2] = {static_cast<char>(outcome.ReceivedSumHigh),
                                  static_cast<char>(outcome.ReceivedSumLow)};
        return QStringLiteral("checksum error (received %1, computed %2)")
            .arg(EscapeBytes(QByteArrayView(received, 2)), Hex2(outcome.ComputedSum));
    }
    case Result::Collecting:
        return QStringLiteral("incomplete");
    case Result::Rejected:
        break;
    }
    switch (outcome.Reason) {
    case Rejection::FirstByte:
        return QStringLiteral("rejected: first byte not CR, \"A\" or \"+\"");
    case Rejection::SecondByte:
        return QStringLiteral("rejected: second byte not LF, \"T\" or \"+\"");
    case Rejection::NoLfAfterCr:
        return QStringLiteral("rejected: no LF after the CR at %1").arg(outcome.ReasonPos);
    case Rejection::TooLong:
        return QStringLiteral("rejected: longer than the receive buffer (%1 bytes)")
            .arg(bufferSize);
    case Rejection::EndedBySilence:
        return QStringLiteral("rejected: ended by silence after %1 %2%3")
            .arg(outcome.ReasonPos)
            .arg(outcome.ReasonPos == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"))
            .arg(outcome.EndedByCap ? QStringLiteral(" (frame time cap)") : QString());
    case Rejection::LineClosed:
        return QStringLiteral("rejected: port closed after %1 %2")
            .arg(outcome.ReasonPos)
            .arg(outcome.ReasonPos == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
    case Rejection::None:
        break;
    }
    return QStringLiteral("rejected");
}

} // namespace

QString FormatTraceLine(const TraceEntry& entry) {
    QString line = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(entry.MonoMs, 8)
                       .arg(entry.Wall.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
                            entry.Side, DirectionName(entry.Direction), entry.Kind);
    if (entry.HasBytes) {
        line += QLatin1String(" \"") + EscapeBytes(entry.Bytes) + QLatin1Char('"');
    }
    if (!entry.Detail.isEmpty()) {
        line += QLatin1Char(' ') + entry.Detail;
    }
    return line;
}
