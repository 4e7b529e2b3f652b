#pragma once

#include "CheckResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

// The stored results as a CSV record, and a day's tally: how many units were
// checked, how many passed, and where the failures were.

// Header row and one row per result (RFC 4180, UTF-8, CR LF), without the
// whole report.
QByteArray ResultsCsv(const QList<CheckResult>& results);

// Monitor cells named by "bit differs at XX" and "bits differ at XX (...),
// YY (...)" in a failure reason, in hex as the reason gives them.
QList<int> DifferingCells(const QString& reason);

struct DaySummary {
    int Checked = 0;
    int Passed = 0;
    std::map<QString, int> FailuresByStep; // units whose first failed step it was
    std::map<int, int> FailuresByCell;     // units with a difference at the cell
    // Passed / checked in percent; 0 when nothing was checked.
    double Yield() const;
};

// A unit checked several times that day counts once, by its last check.
DaySummary SummarizeDay(const QList<CheckResult>& results);
QString SummaryText(const DaySummary& summary, const QString& day);
