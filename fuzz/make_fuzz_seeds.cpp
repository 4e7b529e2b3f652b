// Writes the seed corpora of the fuzz targets from the simulated unit.
//
// For each ROM family a scripted checker session (modem answers, opening
// commands, every poll and check command) runs against the unit model on a
// clock of its own; what the checker sends seeds the unit's command input,
// what the unit answers seeds frame reception, the parsers, the record
// decoders and the dispatcher, each in its target's input layout (see the
// comment at the top of each fuzz_*.cpp). Usage: make_fuzz_seeds CORPUS_DIR
#include "FuzzLine.h"

#include "link/Frame.h"
#include "sim/ReplyText.h"
#include "sim/UnitModel.h"
#include "sim/UnitRecords.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>

#include <cstdio>

namespace {

struct Sent {
    int GapMs; // quiet time before the frame
    QByteArray Bytes;
};

struct Session {
    UnitConfig Config;
    uint8_t ConfigByte = 0;      // byte 0 of a unit_commands input for this unit
    QByteArray CommandLine;      // unit_commands input: what the checker sent
    QList<Sent> Replies;         // what the unit sent, with the quiet before each
    std::array<int, 4> Readings; // thermistor readings of the sensor reply
};

QByteArray Command(const char* codeAndArguments) {
    return CommandFrame(codeAndArguments);
}
QByteArray ResultLine(const char* text) {
    return ModemLine(text);
}

// The checker's side of a session: a quiet gap, then a frame.
QList<Sent> CheckerScript(UnitFamily family) {
    QList<Sent> script;
    if (family != UnitFamily::Zel) {
        script += {{450, ResultLine("OK")}, {300, ResultLine("OK")}, {300, Command("QV")}};
        script += {{400, ResultLine("RING")}, {200, ResultLine("CONNECT")}};
        if (family == UnitFamily::Lup) {
            script += {{200, Command("QJD")}};
        }
        script += {{200, Command("QND")}, {200, Command("QRD")}};
    } else {
        script += {{50, Command("QV")}};
    }
    for (const char* poll :
         {"QB0",     "QA",  "QB1",   "Qf005", "QG",    "Qy",    "Qw", "Qz3", "Q:1001234", "QW1053",
          "QM110A5", "QB1", "QRF05", "Qf001", "Qf00A", "QRD00", "QC", "QE",  "QB9",       "QX"}) {
        script += {{350, Command(poll)}};
    }
    if (family != UnitFamily::Zel) {
        script += {{300, Command("QF")}, {200, ResultLine("NO CARRIER")}};
    }
    return script;
}

Session RunSession(UnitFamily family, int scanBits) {
    Session s;
    s.Config.Family = family;
    s.Config.ScanBits = scanBits;
    const int familyBits = family == UnitFamily::Lup ? 0 : family == UnitFamily::Rav ? 1 : 2;
    int sizeBits = 0;
    while ((32 << sizeBits) < scanBits) {
        ++sizeBits;
    }
    s.ConfigByte = static_cast<uint8_t>(familyBits | sizeBits << 2);
    s.CommandLine += static_cast<char>(s.ConfigByte);

    UnitModel unit(s.Config);
    qint64 now = 0;
    qint64 lineFree = 0; // end of the last frame the unit sent
    unit.PowerOn(now);
    auto serve = [&](qint64 until) {
        for (qint64 wake = unit.NextWakeMs(); wake >= 0 && wake <= until;
             wake = unit.NextWakeMs()) {
            now = std::max(now, wake);
            unit.Tick(now);
            for (const QByteArray& frame : unit.TakeDueFrames(now)) {
                s.Replies += {static_cast<int>(now - lineFree), frame};
                lineFree = now + unit.WireMs(frame.size());
            }
        }
        now = until;
    };
    for (const Sent& sent : CheckerScript(family)) {
        serve(now + sent.GapMs);
        AppendLineGap(s.CommandLine, sent.GapMs);
        AppendLineBytes(s.CommandLine, sent.Bytes);
        for (char c : sent.Bytes) {
            unit.Receive(QByteArrayView(&c, 1), now);
            ++now;
        }
    }
    serve(now + 2000);
    s.Readings = BoardThermistorReadings(now);
    return s;
}

class CorpusWriter {
public:
    explicit CorpusWriter(const QString& root) : Root(root) {}

    // Writes one seed, named by its content so that reruns give the same files;
    // a content already written for the target is skipped.
    void Write(const char* target, const QString& label, const QByteArray& input) {
        const QString dir = Root + QLatin1Char('/') + QLatin1String(target);
        QDir().mkpath(dir);
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex().left(10));
        if (Seen.contains(dir + hash)) {
            return;
        }
        Seen.insert(dir + hash);
        QFile file(dir + QLatin1Char('/') + label + QLatin1Char('-') + hash);
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
        ++Count;
    }
    int Written() const { return Count; }

private:
    QString Root;
    QSet<QString> Seen;
    int Count = 0;
};

QByteArray Int16Le(int v) {
    QByteArray b;
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
    return b;
}

QString FamilyLabel(const Session& s) {
    return UnitFamilyName(s.Config.Family).toLower() + QString::number(s.Config.ScanBits);
}

// The frame text the receiver hands the dispatcher: a reply or result line up
// to its closing CR LF, without a reply's checksum digits; a modem command
// line or the escape as it came.
QByteArray HandedText(const Frame& frame) {
    const bool closedLine = frame.Kind == FrameKind::Reply || frame.Kind == FrameKind::ResultLine;
    return closedLine && frame.ComputedSum >= 0 ? ModemLine(frame.Text()) : frame.Bytes;
}

// A file name part for the frame: its code, or the first characters of a line.
QString CodeLabel(const Frame& frame) {
    const bool crLfFirst = frame.Kind != FrameKind::Unknown &&
                           frame.Kind != FrameKind::ModemCommand && frame.Kind != FrameKind::Escape;
    const QByteArray code = crLfFirst ? frame.Text().left(2) : frame.Bytes.left(4);
    QString label;
    for (char c : code) {
        label += QChar::isLetterOrNumber(static_cast<uint>(c)) ? QString(QLatin1Char(c))
                                                               : QStringLiteral("_");
    }
    return label;
}

void WriteSession(CorpusWriter& out, const Session& s) {
    const QString family = FamilyLabel(s);
    out.Write("unit_commands", QStringLiteral("session-") + family, s.CommandLine);

    // The unit's whole side of the session as one line, paced and in bursts.
    QByteArray line;
    QByteArray frames;
    for (const Sent& reply : s.Replies) {
        AppendLineGap(line, reply.GapMs);
        AppendLineBytes(line, reply.Bytes);
        if (!frames.isEmpty()) {
            frames += '\xFF';
        }
        frames += HandedText(ReadFrame(reply.Bytes, LineDirection::FromUnit));
    }
    out.Write("frame_receiver", QStringLiteral("session-") + family, '\x00' + line);
    if (s.Config.Family == UnitFamily::Lup) {
        out.Write("frame_receiver", QStringLiteral("session-burst-") + family, '\x10' + line);
    }
    // The ten units' types as the unit reports them, one nibble each.
    QByteArray types;
    for (int u = 0; u < kInputUnits; u += 2) {
        types +=
            static_cast<char>(static_cast<int>(s.Config.Inputs[static_cast<size_t>(u)]) |
                              static_cast<int>(s.Config.Inputs[static_cast<size_t>(u + 1)]) << 4);
    }
    out.Write("dispatch", QStringLiteral("session-") + family, '\x01' + types + frames);

    for (const Sent& reply : s.Replies) {
        const Frame frame = ReadFrame(reply.Bytes, LineDirection::FromUnit);
        const QString label = CodeLabel(frame) + QLatin1Char('-') + family;
        const QByteArray text = HandedText(frame);
        if (s.Config.ScanBits == 64 ||
            (frame.Kind != FrameKind::Reply && frame.Kind != FrameKind::ResultLine)) {
            QByteArray single;
            AppendLineBytes(single, reply.Bytes);
            out.Write("frame_receiver", label, '\x00' + single);
        }
        const QByteArray code = frame.Kind == FrameKind::Reply ? frame.Code : QByteArray();
        if (code == "QD") {
            out.Write("scan_parse", label,
                      '\x00' + Int16Le(static_cast<int>(text.size()) - 7) + text);
        } else if (code == "QB" && text.size() > 7) {
            out.Write("scan_parse", label,
                      '\x01' + Int16Le(static_cast<int>(text.size()) - 8) + text);
        } else if (code == "Qf") {
            out.Write("scan_parse", label, '\x02' + Int16Le(0) + text);
        }
        static const QByteArray kReaders[] = {"QV", "QG", "Qz", "Qy", "Qw"};
        for (char reader = 0; reader < 5; ++reader) {
            if (code == kReaders[static_cast<int>(reader)]) {
                out.Write("replies", label, reader + text);
            }
        }
    }
}

// Records of all ten units as the record scan reports them, for each of the
// scan sizes that carry channels, with a thermistor reading for the lookup.
void WriteRecords(CorpusWriter& out, const Session& s) {
    for (int u = 1; u <= kInputUnits; ++u) {
        const UnitType kind = s.Config.Inputs[static_cast<size_t>(u - 1)];
        const UnitRecord record = BuildUnitRecord(u, kind, true, 60000 * u);
        for (int scanBitLast : {255, 63}) {
            if (scanBitLast == 63 && kind != UnitType::Immediate &&
                kind != UnitType::TemperatureHumidity) {
                continue;
            }
            QByteArray input;
            input += static_cast<char>(u);
            input += static_cast<char>(kind);
            input += Int16Le(scanBitLast);
            input += QByteArray(reinterpret_cast<const char*>(record.data()),
                                static_cast<qsizetype>(record.size()));
            input += Int16Le(s.Readings[static_cast<size_t>(u % 4)]);
            out.Write("unit_record",
                      QStringLiteral("unit%1-type%2-%3")
                          .arg(u)
                          .arg(static_cast<int>(kind))
                          .arg(scanBitLast + 1),
                      input);
        }
    }
}

// Each command of the session on its own, to a unit that is online at once.
void WriteSingleCommands(CorpusWriter& out, const Session& zel) {
    for (const Sent& sent : CheckerScript(UnitFamily::Zel)) {
        QByteArray input(1, static_cast<char>(zel.ConfigByte));
        AppendLineGap(input, sent.GapMs);
        AppendLineBytes(input, sent.Bytes);
        out.Write("unit_commands",
                  QStringLiteral("command-") +
                      CodeLabel(ReadFrame(sent.Bytes, LineDirection::ToUnit)),
                  input);
    }
}

// Modem lines the unit's ROM may send that the simulated unit does not: the
// escape and the dial commands, each after a quiet line.
void WriteModemLines(CorpusWriter& out) {
    const struct {
        const char* Label;
        QByteArray Bytes;
    } lines[] = {{"escape", "+++"},          {"short-at", "AT\r"}, {"hangup", "ATH0\r"},
                 {"dial-q", "AT#Q1\r"},      {"dial-r", "AT#R\r"}, {"reset", "AT&F\r"},
                 {"result-ok", "\r\nOK\r\n"}};
    for (const auto& l : lines) {
        QByteArray line;
        AppendLineGap(line, 100);
        AppendLineBytes(line, l.Bytes);
        out.Write("frame_receiver", QLatin1String("modem-") + QLatin1String(l.Label),
                  '\x00' + line);
        out.Write("dispatch", QLatin1String("modem-") + QLatin1String(l.Label), '\x00' + l.Bytes);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    CorpusWriter out(QString::fromLocal8Bit(argv[1]));
    const Session sessions[] = {RunSession(UnitFamily::Lup, 256), RunSession(UnitFamily::Rav, 128),
                                RunSession(UnitFamily::Zel, 64), RunSession(UnitFamily::Zel, 32)};
    for (const Session& s : sessions) {
        WriteSession(out, s);
    }
    WriteRecords(out, sessions[0]);
    WriteSingleCommands(out, sessions[2]);
    WriteModemLines(out);
    std::printf("%d seeds written to %s\n", out.Written(), argv[1]);
    return 0;
}
