#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One unit checked on one port of the bench: who and what was checked, the
// checker's verdict and its whole report, as the results store keeps it.

// What the bench asks the checker to check on one port.
struct CheckRequest {
    QString Port;                // "COM1"
    QString Device;              // the device the port name stands for
    QString Serial;              // the unit's serial number, as scanned
    QString Operator;            // who checks it
    QString ExpectRom;           // the product profile: ROM name the unit must give (empty: any)
    int ExpectBits = 0;          // the product profile: bits the unit scans (0: a ZEL-03's 256)
    int WaitForUnitSeconds = -1; // how long the check waits for a unit powered on later
                                 // (-1: the checker's own wait, 0: without end)
};

struct CheckResult {
    QString CheckId; // unique, so a result sent twice from the spool is kept once
    QString Serial;
    QString Operator;
    QString Bench; // host name of the bench PC
    QString Port;
    QString Device;
    QString Rom;
    QDateTime Started;
    qint64 Ms = 0;
    QString Verdict;    // "PASS", "FAIL", "NO UNIT" or "ERROR" (the check could not run)
    int ExitStatus = 1; // the checker's: 0 pass, 1 fail, 2 no unit, 64 usage, 74 report not written
    QString FailedStep;
    QString Reason;
    QString CheckerVersion; // "zel_checker 1.13"
    QByteArray ReportJson;  // the checker's whole report, empty when there was none
};

// How the checker's process ended.
struct CheckerExit {
    bool Finished = true; // false: crashed, could not start, or stopped by the timeout
    int Status = 0;       // its exit status when it finished
    QString Trouble;      // why it did not finish
};

// The result of one check from the request, the checker's exit and its report
// (empty when the report could not be read). The verdict follows the exit
// status; a pass needs a readable report that agrees with it, so a missing
// or garbled report is a failure with its reason.
CheckResult ResultFromReport(const CheckRequest& request, const CheckerExit& exit,
                             const QByteArray& reportJson, const QDateTime& startedAt,
                             qint64 measuredMs);

// One line for a terminal: "COM1 SN0412 PASS 9.5 s" or with the failed step
// and reason.
QString ResultLine(const CheckResult& result);

// The exit status of a run over several units: 0 when all passed; else the
// most telling of the checkers' statuses: a usage error (64), a report or
// results not written (74), no unit (2), then a failed check (1).
int CombinedExitStatus(const QList<CheckResult>& results);
