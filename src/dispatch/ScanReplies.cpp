// Scan replies (bit scans and records) and the sensor and output replies.
#include "core/Form1.h"
#include "decode/ReplyRead.h"
#include "decode/ScanParse.h"
#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"

void Form1::HandleScanQD(const QByteArray& s) {
    const int n = static_cast<int>(s.size()) - 6;
    State.ScanBitLast = static_cast<int16_t>(n);
    if (IsAcceptedSize(kScanCellCounts, n)) {
        Label2(2)->SetCaption(QString::number(n));
        State.ScanBitLast = static_cast<int16_t>(n - 1);
        ParseScanQD(State);
        TraceReading(
            QStringLiteral("%1 bits, %2 channels").arg(n).arg(ChannelCount(State.ScanBitLast)));
        RefreshMonitor();
    } else {
        TraceReading(QStringLiteral("refused: %1 cells").arg(n));
    }
}

void Form1::HandleScanQB(const QByteArray& s) {
    // A line digit that names no monitor line refuses the whole reply.
    if (ScanReplyLine(s) < 0) {
        TraceReading(QStringLiteral("refused: the line digit names no line"));
        return;
    }
    const int d = static_cast<int>(s.size()) - 7;
    State.ScanBitLast = static_cast<int16_t>(d);
    if (IsAcceptedSize(kScanDigitCounts, d)) {
        State.ScanDigitLast = static_cast<int16_t>(d - 1);
        Label2(2)->SetCaption(QString::number(4 * d));
        State.ScanBitLast = static_cast<int16_t>(4 * d - 1);
        ParseScanQB(State, s);
        TraceReading(QStringLiteral("line %1, %2 bits").arg(State.ScanLine).arg(4 * d));
        RefreshMonitor();
    } else {
        TraceReading(QStringLiteral("refused: %1 data digits").arg(d));
    }
}

void Form1::HandleScanQf(const QByteArray& s) {
    if (ScanReplyLine(s) < 0) {
        TraceReading(QStringLiteral("refused: the line digit names no line"));
        return;
    }
    Label2(2)->SetCaption(QStringLiteral("256"));
    ParseScanQf(State, s);
    TraceReading(QStringLiteral("line %1, 256 bits, record %2, M-Code %3")
                     .arg(State.ScanLine)
                     .arg(State.ScanBytes[0])
                     .arg((State.ScanBytes[31] / 4) & 31));
    RefreshMonitor();
}

void Form1::HandleSensorQz(const SensorChannel& reply) {
    // Channel digits 8 and 9 name no cell of the row: such a reply is ignored.
    if (reply.Channel > 7) {
        return;
    }
    Label13(reply.Channel + 1)->SetCaption(QString::number(reply.Reading));
    Label13(6)->SetCaption(QString::fromLatin1(reply.Flag));
    Label13(7)->SetCaption(QString::number(reply.Level));
    Label13(8)->SetCaption(QString::number(reply.State));
}

void Form1::HandleSensorQy(const SensorReadings& reply) {
    for (int i = 1; i <= 4; ++i) {
        State.ThermistorReadings.at(static_cast<std::size_t>(i)) =
            reply.Readings.at(static_cast<std::size_t>(i - 1));
    }
    for (int i = 1; i <= 4; ++i) {
        Label13(i)->SetCaption(
            QString::number(State.ThermistorReadings.at(static_cast<std::size_t>(i))));
    }
    for (int i = 1; i <= 4; ++i) {
        const int16_t reading = State.ThermistorReadings.at(static_cast<std::size_t>(i));
        Label14(i)->SetCaption(QString::number(LookupTemperature(State.ThermistorTable, reading)));
    }
    Label15(1)->SetCaption(QStringLiteral("OutP = ") + QString::fromLatin1(reply.OutPort) +
                           QLatin1Char(' '));
    Label15(2)->SetCaption(QStringLiteral("InP = ") + QString::fromLatin1(reply.InPort) +
                           QLatin1Char(' '));
}

void Form1::HandleOutputQw(const PortStates& reply) {
    Label14(1)->SetCaption(QStringLiteral("OutP=") + QString::fromLatin1(reply.OutPort) +
                           QLatin1Char(' '));
    Label14(2)->SetCaption(QStringLiteral("InP= ") + QString::fromLatin1(reply.InPort) +
                           QLatin1Char(' '));
}
