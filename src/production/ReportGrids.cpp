#include "ReportGrids.h"

#include "link/Frame.h"
#include "link/HexText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr int kCells = 256;
// A line write's arguments: the line digit, two zeros and 64 hex digits.
constexpr int kWriteDigitsAt = 3;
constexpr int kWriteDigits = 64;

bool IsGridStep(const QString& name) {
    return name == QLatin1String("Pattern1") || name == QLatin1String("Pattern2") ||
           name == QLatin1String("Pattern3") || name == QLatin1String("Clear4");
}

QJsonArray Steps(const QByteArray& reportJson) {
    return QJsonDocument::fromJson(reportJson).object().value(QStringLiteral("steps")).toArray();
}

} // namespace

QList<PatternGrids> FailedPatternGrids(const QByteArray& reportJson) {
    QList<PatternGrids> all;
    static const QRegularExpression kLineNamed(QStringLiteral("Line([1-4]):"));
    for (const QJsonValue& value : Steps(reportJson)) {
        const QJsonObject step = value.toObject();
        const QString name = step.value(QStringLiteral("step")).toString();
        if (!IsGridStep(name) || step.value(QStringLiteral("result")).toString() != "FAIL") {
            continue;
        }
        PatternGrids grids;
        grids.Step = name;
        const QRegularExpressionMatch named =
            kLineNamed.match(step.value(QStringLiteral("reason")).toString());
        grids.Line = named.hasMatch() ? named.captured(1).toInt() - 1 : 0;
        for (const QJsonValue& f : step.value(QStringLiteral("frames")).toArray()) {
            const QJsonObject frame = f.toObject();
            const bool toUnit =
                frame.value(QStringLiteral("direction")).toString() == QLatin1String("to-unit");
            const bool fromUnit =
                frame.value(QStringLiteral("direction")).toString() == QLatin1String("from-unit");
            const Frame read = ReadFrame(frame.value(QStringLiteral("bytes")).toString().toLatin1(),
                                         toUnit ? LineDirection::ToUnit : LineDirection::FromUnit);
            const QByteArray& args = read.Arguments;
            if (toUnit && read.Kind == FrameKind::Command && read.Code == "Q:" &&
                args.size() >= kWriteDigitsAt + kWriteDigits && args.at(0) - '0' == grids.Line) {
                for (int cell = 0; cell < kCells; ++cell) {
                    const int at = kWriteDigitsAt + 2 * (cell / 8);
                    const int byte =
                        std::max(HexDigitValue(static_cast<unsigned char>(args.at(at))), 0) * 16 +
                        std::max(HexDigitValue(static_cast<unsigned char>(args.at(at + 1))), 0);
                    grids.Written[static_cast<std::size_t>(cell)] = (byte >> (cell % 8)) & 1;
                }
            } else if (fromUnit && read.Kind == FrameKind::Reply && read.Code == "QD" &&
                       frame.value(QStringLiteral("verdict")).toString() == "accepted") {
                grids.HasRead = true;
                grids.Read.fill(0);
                // One hex character per cell; bit k of it is line k.
                for (int cell = 0; cell < kCells && cell < args.size(); ++cell) {
                    const int v =
                        std::max(HexDigitValue(static_cast<unsigned char>(args.at(cell))), 0);
                    grids.Read[static_cast<std::size_t>(cell)] = (v >> grids.Line) & 1;
                }
            }
        }
        all.append(grids);
    }
    return all;
}

QList<ReportStep> ReportSteps(const QByteArray& reportJson) {
    QList<ReportStep> steps;
    for (const QJsonValue& value : Steps(reportJson)) {
        const QJsonObject step = value.toObject();
        steps.append({step.value(QStringLiteral("step")).toString(),
                      step.value(QStringLiteral("result")).toString(),
                      step.value(QStringLiteral("reason")).toString()});
    }
    return steps;
}
