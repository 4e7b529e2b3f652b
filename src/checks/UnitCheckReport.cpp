#include "checks/UnitCheckReport.h"

#include "link/HexText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr int kCells = 256;
constexpr int kDifferencesNamed = 16;
constexpr uint32_t kCounterMask = 0xFFFFFF;

QString WallText(const QDateTime& wall) {
    return wall.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

// A JSON string literal, quotes included.
QString JsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.sliced(1, array.size() - 2));
}

// The box's Japanese line names the known causes in Japanese; any other
// cause is given as the system worded it.
QString PortFailureInJapanese(const QString& failure) {
    if (failure == QLatin1String("in use")) {
        return QStringLiteral("使用中");
    }
    if (failure == QLatin1String("does not exist")) {
        return QStringLiteral("デバイスがありません");
    }
    if (failure == QLatin1String("no permission")) {
        return QStringLiteral("権限がありません");
    }
    return failure;
}

QStringList FailedSteps(const CheckReport& report) {
    QStringList failed;
    for (const StepReport& step : report.Steps) {
        if (step.Result == StepResult::Fail) {
            failed << step.Name;
        }
    }
    return failed;
}

} // namespace

QList<CellDifference> CompareLine(QByteArrayView writtenDigits,
                                  const std::array<int16_t, 256>& readBits, int bitLast) {
    QList<CellDifference> differences;
    const int last = std::min(bitLast, kCells - 1);
    for (int cell = 0; cell <= last; ++cell) {
        const qsizetype at = 2 * static_cast<qsizetype>(cell / 8);
        const int high = at < writtenDigits.size()
                             ? HexDigitValue(static_cast<unsigned char>(writtenDigits[at]))
                             : 0;
        const int low = at + 1 < writtenDigits.size()
                            ? HexDigitValue(static_cast<unsigned char>(writtenDigits[at + 1]))
                            : 0;
        const int byte = std::max(high, 0) * 16 + std::max(low, 0);
        const int written = (byte >> (cell % 8)) & 1;
        const int read = readBits[static_cast<std::size_t>(cell)] != 0 ? 1 : 0;
        if (read != written) {
            differences.append({cell, read, written});
        }
    }
    return differences;
}

QString DescribeDifferences(const QList<CellDifference>& differences) {
    if (differences.isEmpty()) {
        return {};
    }
    QStringList named;
    for (qsizetype i = 0; i < differences.size() && i < kDifferencesNamed; ++i) {
        const CellDifference& d = differences.at(i);
        named << QStringLiteral("%1 (read %2, written %3)")
                     .arg(Hex2(d.Cell))
                     .arg(d.Read)
                     .arg(d.Written);
    }
    QString text = (differences.size() == 1 ? QStringLiteral("bit differs at ")
                                            : QStringLiteral("bits differ at ")) +
                   named.join(QStringLiteral(", "));
    if (differences.size() > kDifferencesNamed) {
        text += QStringLiteral(" and %1 more").arg(differences.size() - kDifferencesNamed);
    }
    return text;
}

bool CounterAdvanced(uint32_t first, uint32_t second) {
    return ((second - first) & kCounterMask) != 0;
}

QString CompareLines(const std::array<QByteArray, 4>& written, const std::vector<int16_t>& bits,
                     int bitLast) {
    QStringList lines;
    for (int line = 0; line < 4; ++line) {
        const QByteArray& digits = written.at(static_cast<std::size_t>(line));
        if (digits.isEmpty()) {
            continue;
        }
        std::array<int16_t, kCells> read{};
        const std::size_t base = static_cast<std::size_t>(kCells * line);
        for (std::size_t cell = 0; cell < read.size() && base + cell < bits.size(); ++cell) {
            read.at(cell) = bits[base + cell];
        }
        const QList<CellDifference> differences = CompareLine(digits, read, bitLast);
        if (!differences.isEmpty()) {
            lines
                << QStringLiteral("Line%1: %2").arg(line + 1).arg(DescribeDifferences(differences));
        }
    }
    return lines.join(QStringLiteral("; "));
}

QString ScanSizeVerdict(int cells, int expectedBits) {
    if (cells == expectedBits) {
        return {};
    }
    const QString expectation = expectedBits == kCells
                                    ? QStringLiteral("a ZEL-03 scans 256")
                                    : QStringLiteral("the bench expects %1").arg(expectedBits);
    return QStringLiteral("the unit scans %1 bits; %2").arg(cells).arg(expectation);
}

QString RomVerdict(const QString& rom, const QString& expected) {
    const QString name = rom.section(u' ', 0, 0, QString::SectionSkipEmpty);
    if (expected.isEmpty() || name == expected) {
        return {};
    }
    return QStringLiteral("the unit names ROM %1, the bench expects %2")
        .arg(name.isEmpty() ? QStringLiteral("(none)") : name, expected);
}

QString LinkErrorReason(const QStringList& verdicts) {
    if (verdicts.size() <= 1) {
        return verdicts.value(0);
    }
    return QStringLiteral("%1 frames refused by the receiver, the first: %2")
        .arg(verdicts.size())
        .arg(verdicts.first());
}

void RecordScanTally::Polled(int unit) {
    Decide();
    Current = unit;
    CurrentAnswered = false;
    CurrentRefusal.clear();
}

void RecordScanTally::Answered() {
    CurrentAnswered = true;
    Decide();
}

void RecordScanTally::Refused(const QString& verdict) {
    if (CurrentRefusal.isEmpty()) {
        CurrentRefusal = verdict;
    }
}

void RecordScanTally::EndOfWait() {
    Decide();
}

void RecordScanTally::Decide() {
    if (Current < 1 || Decided.count(Current) != 0) {
        return;
    }
    Decided[Current] = CurrentAnswered            ? QString()
                       : CurrentRefusal.isEmpty() ? QStringLiteral("no answer")
                                                  : CurrentRefusal;
}

bool RecordScanTally::Complete() const {
    for (int unit = 1; unit <= Units; ++unit) {
        if (Decided.count(unit) == 0) {
            return false;
        }
    }
    return true;
}

QStringList RecordScanTally::Failures() const {
    QStringList failures;
    for (int unit = 1; unit <= Units; ++unit) {
        const auto decided = Decided.find(unit);
        if (decided == Decided.end()) {
            failures << QStringLiteral("unit %1: not polled").arg(unit);
        } else if (!decided->second.isEmpty()) {
            failures << QStringLiteral("unit %1: %2").arg(unit).arg(decided->second);
        }
    }
    return failures;
}

QString StepResultName(StepResult result) {
    switch (result) {
    case StepResult::Pass:
        return QStringLiteral("PASS");
    case StepResult::Skip:
        return QStringLiteral("SKIP");
    case StepResult::Fail:
        break;
    }
    return QStringLiteral("FAIL");
}

int CheckReport::ExitStatus() const {
    if (!OutputFailure.isEmpty()) {
        return 74; // a lost trace, record or report makes any verdict unusable
    }
    if (!PortOpened || !UnitAnswered) {
        return 2;
    }
    return FailedSteps(*this).isEmpty() ? 0 : 1;
}

QString CheckReport::Overall() const {
    switch (ExitStatus()) {
    case 0:
        return QStringLiteral("PASS");
    case 1:
    case 74:
        return QStringLiteral("FAIL");
    default:
        return QStringLiteral("NO UNIT");
    }
}

QByteArray ReportJson(const CheckReport& report) {
    // Written by hand so that the fields keep the order a reader expects.
    QString json = QStringLiteral("{\n");
    const auto field = [&json](int indent, const QString& key, const QString& value, bool last) {
        json += QString(indent, QLatin1Char(' ')) + JsonString(key) + QStringLiteral(": ") + value +
                (last ? QStringLiteral("\n") : QStringLiteral(",\n"));
    };
    field(2, QStringLiteral("checker"), JsonString(report.Checker), false);
    field(2, QStringLiteral("port"), JsonString(report.Port), false);
    field(2, QStringLiteral("device"), JsonString(report.Device), false);
    field(2, QStringLiteral("rom"), JsonString(report.Rom), false);
    field(2, QStringLiteral("started"), JsonString(WallText(report.Started)), false);
    field(2, QStringLiteral("seconds"),
          QString::number(static_cast<double>(report.Ms) / 1000.0, 'f', 3), false);
    field(2, QStringLiteral("result"), JsonString(report.Overall()), false);
    field(2, QStringLiteral("exit_status"), QString::number(report.ExitStatus()), false);
    json += QStringLiteral("  \"steps\": [\n");
    for (qsizetype s = 0; s < report.Steps.size(); ++s) {
        const StepReport& step = report.Steps.at(s);
        json += QStringLiteral("    {\n");
        field(6, QStringLiteral("step"), JsonString(step.Name), false);
        field(6, QStringLiteral("result"), JsonString(StepResultName(step.Result)), false);
        field(6, QStringLiteral("reason"), JsonString(step.Reason), false);
        field(6, QStringLiteral("ms"), QString::number(step.Ms), false);
        json += QStringLiteral("      \"frames\": [");
        for (qsizetype f = 0; f < step.Frames.size(); ++f) {
            const JudgedFrame& frame = step.Frames.at(f);
            json += QStringLiteral("\n        {\"time\": %1, \"direction\": %2, \"bytes\": %3")
                        .arg(JsonString(WallText(frame.Wall)),
                             JsonString(DirectionName(frame.Direction)),
                             JsonString(QString::fromLatin1(frame.Bytes)));
            if (!frame.Verdict.isEmpty()) {
                json += QStringLiteral(", \"verdict\": %1").arg(JsonString(frame.Verdict));
            }
            json += f + 1 < step.Frames.size() ? QStringLiteral("},") : QStringLiteral("}");
        }
        json += step.Frames.isEmpty() ? QStringLiteral("]\n") : QStringLiteral("\n      ]\n");
        json +=
            s + 1 < report.Steps.size() ? QStringLiteral("    },\n") : QStringLiteral("    }\n");
    }
    json += QStringLiteral("  ]\n}\n");
    return json.toUtf8();
}

QString ReportText(const CheckReport& report) {
    QString text = QStringLiteral("Unit check on %1 (%2), ROM %3\n")
                       .arg(report.Port, report.Device,
                            report.Rom.isEmpty() ? QStringLiteral("none") : report.Rom);
    for (const StepReport& step : report.Steps) {
        QString line =
            QStringLiteral("  %1  %2  %3")
                .arg(StepResultName(step.Result), step.Name.leftJustified(14), step.Reason);
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        text += line + QLatin1Char('\n');
    }
    text += QStringLiteral("%1 in %2 s\n")
                .arg(report.Overall())
                .arg(static_cast<double>(report.Ms) / 1000.0, 0, 'f', 1);
    return text;
}

QString VerdictBoxText(const CheckReport& report) {
    const QString seconds = QString::number(static_cast<double>(report.Ms) / 1000.0, 'f', 1);
    switch (report.ExitStatus()) {
    case 0:
        return QStringLiteral("検査合格（%1、%2 秒）\r\nUnit check passed (ROM %1, %2 s).")
            .arg(report.Rom, seconds);
    case 1: {
        const QString failed = FailedSteps(report).join(QStringLiteral(", "));
        return QStringLiteral("検査不合格：%1\r\nUnit check failed: %1.").arg(failed);
    }
    case 74:
        return QStringLiteral("検査不合格：出力ファイルに書き込めません\r\nUnit check failed: %1.")
            .arg(report.OutputFailure);
    default:
        break;
    }
    if (!report.PortOpened) {
        if (report.PortFailure.isEmpty()) {
            return QStringLiteral("%1 を開けません！\r\nThe port %1 (%2) could not be opened.")
                .arg(report.Port, report.Device);
        }
        return QStringLiteral("%1 を開けません（%3）！\r\nThe port %1 (%2) could not be "
                              "opened: %4.")
            .arg(report.Port, report.Device, PortFailureInJapanese(report.PortFailure),
                 report.PortFailure);
    }
    return QStringLiteral("ユニットが応答しません！\r\nNo unit answered on %1 (%2).")
        .arg(report.Port, report.Device);
}
