#include "DaySummary.h"

#include "trace/CsvRow.h"

#include <QRegularExpression>

QByteArray ResultsCsv(const QList<CheckResult>& results) {
    QByteArray csv =
        CsvRow({QStringLiteral("started"), QStringLiteral("serial"), QStringLiteral("operator"),
                QStringLiteral("bench"), QStringLiteral("port"), QStringLiteral("device"),
                QStringLiteral("rom"), QStringLiteral("seconds"), QStringLiteral("verdict"),
                QStringLiteral("exit_status"), QStringLiteral("failed_step"),
                QStringLiteral("reason"), QStringLiteral("checker")});
    for (const CheckResult& r : results) {
        csv += CsvRow({r.Started.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")), r.Serial,
                       r.Operator, r.Bench, r.Port, r.Device, r.Rom,
                       QString::number(static_cast<double>(r.Ms) / 1000.0, 'f', 3), r.Verdict,
                       QString::number(r.ExitStatus), r.FailedStep, r.Reason, r.CheckerVersion});
    }
    return csv;
}

QList<int> DifferingCells(const QString& reason) {
    // "bit differs at 25 (read 1, written 0)" or "bits differ at 25 (...), 26 (...)
    // and 3 more"; each cell is two hex digits followed by its "(read".
    static const QRegularExpression kList(
        QStringLiteral("bits? differs? at ((?:[0-9A-Fa-f]{2} "
                       "\\(read [01], written [01]\\)(?:, )?)+)"));
    static const QRegularExpression kCell(QStringLiteral("([0-9A-Fa-f]{2}) \\(read"));
    QList<int> cells;
    auto lists = kList.globalMatch(reason);
    while (lists.hasNext()) {
        auto each = kCell.globalMatch(lists.next().captured(1));
        while (each.hasNext()) {
            const int cell = each.next().captured(1).toInt(nullptr, 16);
            if (!cells.contains(cell)) {
                cells.append(cell);
            }
        }
    }
    return cells;
}

double DaySummary::Yield() const {
    return Checked == 0 ? 0.0 : 100.0 * Passed / Checked;
}

DaySummary SummarizeDay(const QList<CheckResult>& results) {
    std::map<QString, const CheckResult*> last; // by serial
    QList<const CheckResult*> unnamed;          // a result without a serial counts alone
    for (const CheckResult& r : results) {
        if (r.Serial.isEmpty()) {
            unnamed.append(&r);
            continue;
        }
        auto [at, fresh] = last.try_emplace(r.Serial, &r);
        if (!fresh && at->second->Started <= r.Started) {
            at->second = &r;
        }
    }
    QList<const CheckResult*> counted = unnamed;
    for (const auto& [serial, r] : last) {
        counted.append(r);
    }
    DaySummary summary;
    for (const CheckResult* r : counted) {
        ++summary.Checked;
        if (r->Verdict == QLatin1String("PASS")) {
            ++summary.Passed;
            continue;
        }
        ++summary.FailuresByStep[r->FailedStep.isEmpty() ? r->Verdict : r->FailedStep];
        for (int cell : DifferingCells(r->Reason)) {
            ++summary.FailuresByCell[cell];
        }
    }
    return summary;
}

QString SummaryText(const DaySummary& summary, const QString& day) {
    QString text = QStringLiteral("Day %1: %2 units checked, %3 passed, yield %4 %\n")
                       .arg(day)
                       .arg(summary.Checked)
                       .arg(summary.Passed)
                       .arg(summary.Yield(), 0, 'f', 1);
    if (!summary.FailuresByStep.empty()) {
        text += QStringLiteral("Failures by step:\n");
        for (const auto& [step, count] : summary.FailuresByStep) {
            text += QStringLiteral("  %1  %2\n").arg(step.leftJustified(16)).arg(count);
        }
    }
    if (!summary.FailuresByCell.empty()) {
        text += QStringLiteral("Failures by bit position:\n");
        for (const auto& [cell, count] : summary.FailuresByCell) {
            text += QStringLiteral("  %1  %2\n")
                        .arg(QStringLiteral("%1").arg(cell, 2, 16, QLatin1Char('0')).toUpper())
                        .arg(count);
        }
    }
    return text;
}
