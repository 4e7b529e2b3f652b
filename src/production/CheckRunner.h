#pragma once

#include "CheckResult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>

// Runs one unit check as the checker's own program: `zel_checker
// --check-unit` offscreen on one port, with its report and line trace in a
// folder of the bench's, and turns its exit and report into a CheckResult.
// A check that hangs is stopped by the timeout and fails its unit alone.

// The checker beside the program in ownFolder, else the one on the PATH;
// empty when there is none.
QString FindChecker(const QString& ownFolder);

// The checker's arguments for one request, writing its report to reportFile
// and its line trace to traceFile.
QStringList CheckerArguments(const CheckRequest& request, const QString& reportFile,
                             const QString& traceFile);

class CheckRunner : public QObject {
    Q_OBJECT
public:
    // workFolder holds each check's report and trace while it runs.
    CheckRunner(QString checker, QString workFolder, QObject* parent = nullptr);
    ~CheckRunner() override;

    void SetTimeoutMs(int ms) { TimeoutMs = ms; }
    bool Busy() const { return Process != nullptr; }
    // Starts the check; Finished follows once, whatever happens.
    void Start(const CheckRequest& request);

signals:
    // A step of the running check begins ("Pattern1").
    void StepBegins(const QString& step);
    void Finished(const CheckResult& result);

private:
    void ReadTrace();
    void Conclude(const CheckerExit& exit);

    QString Checker;
    QString WorkFolder;
    int TimeoutMs = 120000;
    CheckRequest Request;
    QProcess* Process = nullptr;
    QTimer Timeout;
    QTimer TraceTimer;
    QElapsedTimer Clock;
    QDateTime StartedAt;
    QString ReportFile;
    QString TraceFile;
    qint64 TraceRead = 0;
    bool TimedOut = false;
};
