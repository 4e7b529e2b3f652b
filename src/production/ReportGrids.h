#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

// The written and the read 16 x 16 grid of a pattern step that failed, taken
// from the frames the checker's report lists: the written bits from the step's
// last "Q:" command to the line, the read bits from its last accepted "QD"
// scan (one hex character per cell, bit k of it for line k + 1).
struct PatternGrids {
    QString Step; // "Pattern1"
    int Line = 0; // 0..3, the first line the reason names (Line1 when none)
    bool HasRead = false;
    std::array<int, 256> Written{};
    std::array<int, 256> Read{};
};

// One entry per failed Pattern1..3 or Clear4 step of the report, in order.
QList<PatternGrids> FailedPatternGrids(const QByteArray& reportJson);

// Steps of the report as (name, result, reason), in order.
struct ReportStep {
    QString Name;
    QString Result;
    QString Reason;
};
QList<ReportStep> ReportSteps(const QByteArray& reportJson);
