// Scan replies (bit scans and records) and the sensor and output replies.
#include "core/Form1.h"
#include "decode/ScanParse.h"
#include "decode/Thermistor.h"
#include "decode/UnitRecord.h"
#include "link/HexText.h"

void Form1::HandleScanQD(const QByteArray& s) {
    const int n = static_cast<int>(s.size()) - 6;
    State.ScanBitLast = static_cast<int16_t>(n);
    if (n == 32 || n == 64 || n == 128 || n == 256) {
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
    if (d == 8 || d == 16 || d == 32 || d == 64) {
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

void Form1::HandleSensorQz(const QByteArray& s) {
    const int k = static_cast<int>(FieldDecimal(s, 5, 1));
    // Channel digits 8 and 9 name no cell of the row: such a reply is ignored.
    if (k > 7) {
        return;
    }
    Label13(k + 1)->SetCaption(QString::number(FieldHexSigned16(s, 6)));
    Label13(6)->SetCaption(QString::fromLatin1(Field(s, 10, 1).toByteArray()));
    Label13(7)->SetCaption(QString::number(FieldHex(s, 11, 2)));
    Label13(8)->SetCaption(QString::number(FieldHex(s, 13, 1)));
}

void Form1::HandleSensorQy(const QByteArray& s) {
    for (int i = 1; i <= 4; ++i) {
        State.ThermistorReadings.at(static_cast<std::size_t>(i)) =
            FieldHexSigned16(s, 5 + 4 * (i - 1));
    }
    for (int i = 1; i <= 4; ++i) {
        Label13(i)->SetCaption(
            QString::number(State.ThermistorReadings.at(static_cast<std::size_t>(i))));
    }
    for (int i = 1; i <= 4; ++i) {
        const int16_t reading = State.ThermistorReadings.at(static_cast<std::size_t>(i));
        Label14(i)->SetCaption(QString::number(LookupTemperature(State.ThermistorTable, reading)));
    }
    Label15(1)->SetCaption(QStringLiteral("OutP = ") +
                           QString::fromLatin1(Field(s, 21, 1).toByteArray()) + QLatin1Char(' '));
    Label15(2)->SetCaption(QStringLiteral("InP = ") +
                           QString::fromLatin1(Field(s, 22, 1).toByteArray()) + QLatin1Char(' '));
}

void Form1::HandleOutputQw(const QByteArray& s) {
    Label14(1)->SetCaption(QStringLiteral("OutP=") +
                           QString::fromLatin1(Field(s, 5, 1).toByteArray()) + QLatin1Char(' '));
    Label14(2)->SetCaption(QStringLiteral("InP= ") +
                           QString::fromLatin1(Field(s, 6, 1).toByteArray()) + QLatin1Char(' '));
}
