#include "CheckRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

constexpr int kTraceReadMs = 300;
constexpr int kStopGraceMs = 3000;

// A file name part made of the port name's safe characters.
QString SafeName(const QString& text) {
    QString safe = text;
    safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    return safe;
}

} // namespace

QString FindChecker(const QString& ownFolder) {
    const QString beside = QDir(ownFolder).filePath(QStringLiteral("zel_checker"));
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return QStandardPaths::findExecutable(QStringLiteral("zel_checker"));
}

QStringList CheckerArguments(const CheckRequest& request, const QString& reportFile,
                             const QString& traceFile) {
    // Each check is a program of its own that checks on its first port,
    // whatever the bench calls the adapter.
    QStringList arguments{QStringLiteral("--port"),
                          QStringLiteral("COM1=%1").arg(request.Device),
                          QStringLiteral("--check-unit"),
                          QStringLiteral("--report"),
                          reportFile,
                          QStringLiteral("--trace=%1").arg(traceFile)};
    if (!request.ExpectRom.isEmpty()) {
        arguments << QStringLiteral("--expect-rom") << request.ExpectRom;
    }
    if (request.ExpectBits > 0) {
        arguments << QStringLiteral("--expect-bits") << QString::number(request.ExpectBits);
    }
    if (request.WaitForUnitSeconds >= 0) {
        arguments << QStringLiteral("--wait-for-unit")
                  << QString::number(request.WaitForUnitSeconds);
    }
    return arguments;
}

CheckRunner::CheckRunner(QString checker, QString workFolder, QObject* parent)
    : QObject(parent), Checker(std::move(checker)), WorkFolder(std::move(workFolder)) {
    Timeout.setSingleShot(true);
    connect(&Timeout, &QTimer::timeout, this, [this] {
        if (Process == nullptr) {
            return;
        }
        // Ask first, so the checker can close its port; then stop it. The
        // unit's result follows when the process has ended.
        TimedOut = true;
        Process->terminate();
        QTimer::singleShot(kStopGraceMs, Process, [p = Process] { p->kill(); });
    });
    TraceTimer.setInterval(kTraceReadMs);
    connect(&TraceTimer, &QTimer::timeout, this, &CheckRunner::ReadTrace);
}

CheckRunner::~CheckRunner() {
    if (Process != nullptr) {
        Process->disconnect(this);
        Process->kill();
        Process->waitForFinished(kStopGraceMs);
    }
}

void CheckRunner::Start(const CheckRequest& request) {
    Request = request;
    const QString stem = QStringLiteral("%1-%2")
                             .arg(SafeName(request.Port))
                             .arg(QDateTime::currentMSecsSinceEpoch());
    ReportFile = QDir(WorkFolder).filePath(stem + QStringLiteral(".json"));
    TraceFile = QDir(WorkFolder).filePath(stem + QStringLiteral(".trace"));
    QFile::remove(ReportFile);
    QFile::remove(TraceFile);
    TraceRead = 0;
    TimedOut = false;
    StartedAt = QDateTime::currentDateTime();
    Clock.start();

    Process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Process->setProcessEnvironment(environment);
    Process->setProcessChannelMode(QProcess::MergedChannels);
    connect(Process, &QProcess::finished, this, [this](int status, QProcess::ExitStatus how) {
        if (TimedOut) {
            Conclude({false, 0,
                      QStringLiteral("the check did not end within %1 s and was stopped")
                          .arg(TimeoutMs / 1000)});
        } else if (how == QProcess::CrashExit) {
            Conclude({false, 0, QStringLiteral("the checker crashed")});
        } else {
            Conclude({true, status, {}});
        }
    });
    connect(Process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            Conclude(
                {false, 0,
                 QStringLiteral("the checker could not be started (%1)")
                     .arg(Checker.isEmpty() ? QStringLiteral("zel_checker not found") : Checker)});
        }
    });
    // Its output is not needed: the report and the trace say everything.
    connect(Process, &QProcess::readyRead, Process, [p = Process] { p->readAll(); });
    Timeout.start(TimeoutMs);
    TraceTimer.start();
    Process->start(Checker, CheckerArguments(request, ReportFile, TraceFile));
}

void CheckRunner::ReadTrace() {
    QFile trace(TraceFile);
    if (!trace.open(QIODevice::ReadOnly) || !trace.seek(TraceRead)) {
        return;
    }
    static const QRegularExpression kBegins(QStringLiteral(" note check step (.+) begins$"));
    while (!trace.atEnd()) {
        const QByteArray line = trace.readLine();
        if (!line.endsWith('\n')) {
            break; // the rest of it comes with the next read
        }
        TraceRead += line.size();
        const QRegularExpressionMatch match = kBegins.match(QString::fromUtf8(line).trimmed());
        if (match.hasMatch()) {
            emit StepBegins(match.captured(1));
        }
    }
}

void CheckRunner::Conclude(const CheckerExit& exit) {
    if (Process == nullptr) {
        return;
    }
    Timeout.stop();
    TraceTimer.stop();
    ReadTrace();
    QProcess* process = Process;
    Process = nullptr;
    process->disconnect(this);
    process->deleteLater();

    QByteArray report;
    if (QFile file(ReportFile); file.open(QIODevice::ReadOnly)) {
        report = file.readAll();
    }
    QFile::remove(ReportFile);
    QFile::remove(TraceFile);
    emit Finished(ResultFromReport(Request, exit, report, StartedAt, Clock.elapsed()));
}
