#include "CheckResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

constexpr int kUsageError = 64;
constexpr int kNotWritable = 74;
constexpr int kNoUnit = 2;

QString VerdictOfStatus(int status) {
    switch (status) {
    case 0:
        return QStringLiteral("PASS");
    case 1:
        return QStringLiteral("FAIL");
    case kNoUnit:
        return QStringLiteral("NO UNIT");
    default:
        return QStringLiteral("ERROR");
    }
}

} // namespace

CheckResult ResultFromReport(const CheckRequest& request, const CheckerExit& exit,
                             const QByteArray& reportJson, const QDateTime& startedAt,
                             qint64 measuredMs) {
    CheckResult result;
    result.CheckId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    result.Serial = request.Serial;
    result.Operator = request.Operator;
    result.Port = request.Port;
    result.Device = request.Device;
    result.Started = startedAt;
    result.Ms = measuredMs;
    result.ReportJson = reportJson;

    if (!exit.Finished) {
        result.Verdict = QStringLiteral("FAIL");
        result.ExitStatus = 1;
        result.FailedStep = QStringLiteral("Checker");
        result.Reason = exit.Trouble;
        return result;
    }
    result.ExitStatus = exit.Status;
    result.Verdict = VerdictOfStatus(exit.Status);
    if (exit.Status == kUsageError) {
        result.FailedStep = QStringLiteral("Checker");
        result.Reason = QStringLiteral("the checker refused its options (exit status 64)");
        return result;
    }
    if (exit.Status == kNotWritable) {
        result.FailedStep = QStringLiteral("Checker");
        result.Reason = QStringLiteral("the checker could not write its report (exit status 74)");
        return result;
    }
    if (exit.Status != 0 && exit.Status != 1 && exit.Status != kNoUnit) {
        result.Verdict = QStringLiteral("FAIL");
        result.FailedStep = QStringLiteral("Checker");
        result.Reason = QStringLiteral("the checker ended with exit status %1").arg(exit.Status);
        result.ExitStatus = 1;
        return result;
    }

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(reportJson, &parseError);
    const auto failWithoutReport = [&result](const QString& reason) {
        result.FailedStep = QStringLiteral("Report");
        result.Reason = reason;
        if (result.ExitStatus == 0) {
            result.Verdict = QStringLiteral("FAIL");
            result.ExitStatus = 1;
        }
        return result;
    };
    if (reportJson.isEmpty()) {
        return failWithoutReport(QStringLiteral("the checker wrote no report"));
    }
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return failWithoutReport(
            QStringLiteral("the checker's report is not readable JSON (%1 at byte %2)")
                .arg(parseError.errorString())
                .arg(parseError.offset));
    }
    const QJsonObject report = document.object();
    result.CheckerVersion = report.value(QStringLiteral("checker")).toString();
    result.Rom = report.value(QStringLiteral("rom")).toString();
    if (const QDateTime started = QDateTime::fromString(
            report.value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
        started.isValid()) {
        result.Started = started;
    }
    if (const QJsonValue seconds = report.value(QStringLiteral("seconds")); seconds.isDouble()) {
        result.Ms = qRound64(seconds.toDouble() * 1000.0);
    }
    for (const QJsonValue& value : report.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        if (step.value(QStringLiteral("result")).toString() == QLatin1String("FAIL")) {
            result.FailedStep = step.value(QStringLiteral("step")).toString();
            result.Reason = step.value(QStringLiteral("reason")).toString();
            break;
        }
    }
    const QString said = report.value(QStringLiteral("result")).toString();
    const int saidStatus = report.value(QStringLiteral("exit_status")).toInt(-1);
    if (saidStatus != exit.Status || said != VerdictOfStatus(exit.Status)) {
        // A pass only counts when the report says so too.
        return failWithoutReport(
            QStringLiteral("the report says %1 (exit status %2), the checker exited with %3")
                .arg(said.isEmpty() ? QStringLiteral("nothing") : said)
                .arg(saidStatus)
                .arg(exit.Status));
    }
    if (exit.Status == kNoUnit && result.Reason.isEmpty()) {
        result.FailedStep = QStringLiteral("Connect");
        result.Reason = QStringLiteral("no unit answered");
    }
    return result;
}

QString ResultLine(const CheckResult& result) {
    QString line = QStringLiteral("%1 %2 %3 %4 s")
                       .arg(result.Port, result.Serial, result.Verdict)
                       .arg(static_cast<double>(result.Ms) / 1000.0, 0, 'f', 1);
    if (!result.FailedStep.isEmpty()) {
        line += QStringLiteral(" %1: %2").arg(result.FailedStep, result.Reason);
    }
    return line;
}

int CombinedExitStatus(const QList<CheckResult>& results) {
    int combined = 0;
    const auto rank = [](int status) {
        switch (status) {
        case 0:
            return 0;
        case 1:
            return 1;
        case kNoUnit:
            return 2;
        case kNotWritable:
            return 3;
        default:
            return 4;
        }
    };
    for (const CheckResult& result : results) {
        if (rank(result.ExitStatus) > rank(combined)) {
            combined = result.ExitStatus;
        }
    }
    return combined;
}
