// zel-bench: the production bench. Checks units on several adapters at once,
// each by the checker's own program, and keeps every result with the unit's
// serial number. With --headless it checks the units given once and exits;
// --summary and --export-csv read the kept results.
#include "BenchWindow.h"

#include "production/BenchSetup.h"
#include "production/CheckRunner.h"
#include "production/DaySummary.h"
#include "production/Papers.h"
#include "production/ResultsKeeper.h"
#include "production/ResultsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWindowWaitForUnitSeconds = 60;

constexpr int kUsageError = 64;
constexpr int kNotWritable = 74;
constexpr int kCheckerMissing = 69;
constexpr int kSpoolRetryMs = 30000;
// How long the bench waits, when it ends, for results still being kept.
constexpr int kFinishKeepingMs = 15000;

struct BenchOptions {
    bool Headless = false;
    bool Summary = false;
    QDate Day;
    QString PdfFile;
    QString CsvFile;
    QString SheetsFolder;
    int TimeoutSeconds = 120;
    QList<BenchPort> Ports;
    CheckRequest Profile;
    ResultsLocation Results;
};

void Say(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

QString DataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

// Parses the command line; returns -1 to go on, else the exit status.
int ParseOptions(const QStringList& arguments, BenchOptions* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Production bench for ZEL-03 units: checks units on several adapters at once, each with "
        "zel_checker --check-unit (the one beside zel-bench, else the one on the PATH), and keeps "
        "every result with its serial number, operator, bench, port, ROM, times, verdict and the "
        "checker's whole report.\n\n"
        "Exit status with --headless: 0 every unit passed; 1 a unit failed (or its check hung or "
        "crashed); 2 no unit answered on a port; 64 a usage error (unknown option, a port named "
        "twice, a serial for a port not given, a wrong results URL); 69 zel_checker not found; "
        "74 a report, a sheet or a result could not be written. Of several units' statuses the "
        "most telling is returned (64, then 74, 2, 1); a result that could not be kept always "
        "gives 74."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("An adapter of the bench, e.g. COM1=/dev/ttyUSB0 (repeatable, any number)."),
        QStringLiteral("NAME=DEVICE"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("The serial number of the unit on that adapter (repeatable)."),
        QStringLiteral("NAME=SN"));
    const QCommandLineOption op(QStringLiteral("operator"), QStringLiteral("Who checks the units."),
                                QStringLiteral("NAME"));
    const QCommandLineOption results(
        QStringLiteral("results"),
        QStringLiteral("Where results are kept: an SQLite file, or postgresql://user@host/db "
                       "(postgresql:///db?host=/socket/folder). Default: results.sqlite in the "
                       "user's data folder."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption expectRom(
        QStringLiteral("expect-rom"),
        QStringLiteral("Product profile: the ROM the unit must name."), QStringLiteral("NAME"));
    const QCommandLineOption expectBits(
        QStringLiteral("expect-bits"),
        QStringLiteral("Product profile: the bits the unit scans (32, 64, 128; 256 by default)."),
        QStringLiteral("N"));
    const QCommandLineOption waitForUnit(
        QStringLiteral("wait-for-unit"),
        QStringLiteral("How long each check waits for a unit powered on later (0: without end; "
                       "60 at the window, the checker's own 8 s headless)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("A check that has not ended after this long fails its unit (default 120)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("No window: check the units given with --serial at once, print one line "
                       "per unit and exit."));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("With --headless: one round (the only kind)."));
    const QCommandLineOption sheets(
        QStringLiteral("sheets"),
        QStringLiteral("Write a PDF sheet per checked unit into FOLDER (at the window by default "
                       "sheets in the user's data folder; headless only when given)."),
        QStringLiteral("FOLDER"));
    const QCommandLineOption summary(
        QStringLiteral("summary"), QStringLiteral("Print the day's summary of the kept results."));
    const QCommandLineOption day(QStringLiteral("day"),
                                 QStringLiteral("With --summary: the day (default today)."),
                                 QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption pdf(QStringLiteral("pdf"),
                                 QStringLiteral("With --summary: also write it as a PDF page."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption csv(QStringLiteral("export-csv"),
                                 QStringLiteral("Write every kept result to FILE as CSV."),
                                 QStringLiteral("FILE"));
    parser.addOptions({help, version, port, serial, op, results, expectRom, expectBits, waitForUnit,
                       timeout, headless, once, sheets, summary, day, pdf, csv});
    if (!parser.parse(arguments)) {
        Say(stderr, QStringLiteral("zel-bench: %1 (see --help)").arg(parser.errorText()));
        return kUsageError;
    }
    if (parser.isSet(help)) {
        Say(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"),
                                              QStringLiteral("zel-bench")));
        return 0;
    }
    if (parser.isSet(version)) {
        Say(stdout, QStringLiteral("zel-bench %1").arg(QStringLiteral(ZEL_VERSION)));
        return 0;
    }
    const auto usage = [](const QString& text) {
        Say(stderr, QStringLiteral("zel-bench: %1").arg(text));
        return kUsageError;
    };
    if (!parser.positionalArguments().isEmpty()) {
        return usage(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    }
    QString error;
    const auto ports = ParseBenchPorts(parser.values(port), parser.values(serial), &error);
    if (!ports) {
        return usage(error);
    }
    options->Ports = *ports;
    const auto where =
        ParseResultsLocation(parser.value(results),
                             QDir(DataFolder()).filePath(QStringLiteral("results.sqlite")), &error);
    if (!where) {
        return usage(error);
    }
    options->Results = *where;
    options->Profile.Operator = parser.value(op);
    options->Profile.ExpectRom = parser.value(expectRom);
    const auto number = [&parser](const QCommandLineOption& option, int* into, int low) {
        if (!parser.isSet(option)) {
            return true;
        }
        bool ok = false;
        *into = parser.value(option).toInt(&ok);
        return ok && *into >= low;
    };
    if (!number(expectBits, &options->Profile.ExpectBits, 1)) {
        return usage(
            QStringLiteral("--expect-bits %1: not a number of bits").arg(parser.value(expectBits)));
    }
    if (!number(waitForUnit, &options->Profile.WaitForUnitSeconds, 0)) {
        return usage(QStringLiteral("--wait-for-unit %1: not a number of seconds")
                         .arg(parser.value(waitForUnit)));
    }
    if (!number(timeout, &options->TimeoutSeconds, 1)) {
        return usage(
            QStringLiteral("--timeout %1: not a number of seconds").arg(parser.value(timeout)));
    }
    options->Headless = parser.isSet(headless);
    // At the window the operator scans the serial first and powers the unit on
    // after it: the check waits for the unit a minute unless told otherwise
    // (the checker's own wait is a few seconds, made for a unit already on).
    if (!options->Headless && !parser.isSet(waitForUnit)) {
        options->Profile.WaitForUnitSeconds = kWindowWaitForUnitSeconds;
    }
    options->Summary = parser.isSet(summary);
    options->PdfFile = parser.value(pdf);
    options->CsvFile = parser.value(csv);
    options->SheetsFolder = parser.value(sheets);
    if (parser.isSet(day)) {
        options->Day = QDate::fromString(parser.value(day), Qt::ISODate);
        if (!options->Day.isValid()) {
            return usage(QStringLiteral("--day %1: expected YYYY-MM-DD").arg(parser.value(day)));
        }
    }
    if ((parser.isSet(day) || parser.isSet(pdf)) && !options->Summary) {
        return usage(QStringLiteral("--day and --pdf go with --summary"));
    }
    if (parser.isSet(once) && !options->Headless) {
        return usage(QStringLiteral("--once goes with --headless"));
    }
    const int modes = (options->Headless ? 1 : 0) + (options->Summary ? 1 : 0) +
                      (options->CsvFile.isEmpty() ? 0 : 1);
    if (modes > 1) {
        return usage(QStringLiteral("--headless, --summary and --export-csv are separate runs"));
    }
    if (options->Headless) {
        if (options->Ports.isEmpty()) {
            return usage(QStringLiteral("--headless needs at least one --port"));
        }
        for (const BenchPort& p : options->Ports) {
            if (p.Serial.isEmpty()) {
                return usage(
                    QStringLiteral("%1 has no serial number (--serial %1=SN)").arg(p.Name));
            }
        }
    }
    return -1;
}

QString SpoolFor(const ResultsLocation& location) {
    return location.Kind == ResultsLocation::Kind::Postgres ? SpoolFileFor(location, DataFolder())
                                                            : QString();
}

int RunSummary(const BenchOptions& options) {
    ResultsStore store(options.Results, SpoolFor(options.Results));
    const QDate day = options.Day.isValid() ? options.Day : QDate::currentDate();
    QString error;
    const QList<CheckResult> results = store.Results(day, &error);
    if (!error.isEmpty()) {
        Say(stderr, QStringLiteral("zel-bench: cannot read the results: %1").arg(error));
        return 1;
    }
    const DaySummary summary = SummarizeDay(results);
    std::fputs(SummaryText(summary, day.toString(Qt::ISODate)).toUtf8().constData(), stdout);
    if (!options.PdfFile.isEmpty()) {
        if (const QString trouble =
                WriteDaySummary(summary, day.toString(Qt::ISODate), options.PdfFile);
            !trouble.isEmpty()) {
            Say(stderr, QStringLiteral("zel-bench: %1").arg(trouble));
            return kNotWritable;
        }
    }
    return 0;
}

int RunExport(const BenchOptions& options) {
    ResultsStore store(options.Results, SpoolFor(options.Results));
    QString error;
    const QList<CheckResult> results = store.Results({}, &error);
    if (!error.isEmpty()) {
        Say(stderr, QStringLiteral("zel-bench: cannot read the results: %1").arg(error));
        return 1;
    }
    QFile file(options.CsvFile);
    const bool toStdout = options.CsvFile == QLatin1String("-");
    const bool opened = toStdout ? file.open(stdout, QIODevice::WriteOnly)
                                 : file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const QByteArray csv = ResultsCsv(results);
    if (!opened || file.write(csv) != csv.size() || !file.flush()) {
        Say(stderr, QStringLiteral("zel-bench: cannot write %1").arg(options.CsvFile));
        return kNotWritable;
    }
    return 0;
}

// Where a result went, for its line; false when it could not be kept.
bool KeptText(ResultsStore::Outcome outcome, const QString& error, QString* kept) {
    switch (outcome) {
    case ResultsStore::Outcome::Stored:
        *kept = QStringLiteral("stored");
        return true;
    case ResultsStore::Outcome::Spooled:
        *kept = QStringLiteral("spooled (%1)").arg(error);
        return true;
    case ResultsStore::Outcome::Lost:
        break;
    }
    *kept = QStringLiteral("NOT STORED: %1").arg(error);
    return false;
}

// Tells the results the store did not answer for before the bench had to
// end; they may or may not have been kept.
void TellUnanswered(const ResultsKeeper& keeper) {
    for (const CheckResult& result : keeper.Pending()) {
        Say(stderr, QStringLiteral("zel-bench: the results store did not answer in time; this "
                                   "result may not be kept: %1")
                        .arg(ResultLine(result)));
    }
}

// Ends the program at once: the store's thread is still inside a call to the
// server and cannot be waited for, nor its connection torn down under it.
[[noreturn]] void EndWithStoreBusy(const ResultsKeeper& keeper) {
    TellUnanswered(keeper);
    std::fflush(nullptr);
    std::_Exit(kNotWritable);
}

int RunHeadless(const BenchOptions& options, const QString& checker) {
    QTemporaryDir work;
    if (!work.isValid()) {
        Say(stderr, QStringLiteral("zel-bench: cannot make a temporary folder"));
        return kNotWritable;
    }
    ResultsKeeper keeper(options.Results, SpoolFor(options.Results));
    QList<CheckResult> done;
    QHash<QString, QString> sheetTrouble; // by check id
    bool allKept = true;
    QObject::connect(
        &keeper, &ResultsKeeper::Kept,
        [&](const CheckResult& result, ResultsStore::Outcome outcome, const QString& error) {
            QString kept;
            allKept = KeptText(outcome, error, &kept) && allKept;
            if (const QString trouble = sheetTrouble.value(result.CheckId); !trouble.isEmpty()) {
                kept += QStringLiteral("; sheet: %1").arg(trouble);
                allKept = false;
            }
            Say(stdout, QStringLiteral("%1 [%2]").arg(ResultLine(result), kept));
            done.append(result);
            if (done.size() == options.Ports.size()) {
                QCoreApplication::exit(0);
            }
        });
    std::vector<std::unique_ptr<CheckRunner>> runners;
    for (const BenchPort& port : options.Ports) {
        CheckRequest request = options.Profile;
        request.Port = port.Name;
        request.Device = port.Device;
        request.Serial = port.Serial;
        auto runner = std::make_unique<CheckRunner>(checker, work.path());
        runner->SetTimeoutMs(options.TimeoutSeconds * 1000);
        QObject::connect(runner.get(), &CheckRunner::Finished, [&](const CheckResult& finished) {
            CheckResult result = finished;
            result.Bench = QSysInfo::machineHostName();
            if (!options.SheetsFolder.isEmpty()) {
                const QString sheet = QDir(options.SheetsFolder).filePath(SheetFileName(result));
                if (const QString trouble = WriteUnitSheet(result, sheet); !trouble.isEmpty()) {
                    sheetTrouble.insert(result.CheckId, trouble);
                }
            }
            keeper.Keep(result);
        });
        runners.push_back(std::move(runner));
        runners.back()->Start(request);
    }
    // Each result is answered for by the keeper's thread, through the loop.
    QCoreApplication::exec();
    runners.clear();
    if (!keeper.Finish(kFinishKeepingMs)) {
        EndWithStoreBusy(keeper);
    }
    if (!allKept) {
        return kNotWritable;
    }
    return CombinedExitStatus(done);
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCoreApplication::setApplicationName(QStringLiteral("zel-bench"));
    QCoreApplication::setOrganizationName(QStringLiteral("zel-checker"));
    BenchOptions options;
    if (const int status = ParseOptions(arguments, &options); status >= 0) {
        return status;
    }
    if (options.Summary || !options.CsvFile.isEmpty() || options.Headless) {
        // No window: the PDF papers need Qt Gui's fonts, not a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        QGuiApplication app(argc, argv);
        if (options.Summary) {
            return RunSummary(options);
        }
        if (!options.CsvFile.isEmpty()) {
            return RunExport(options);
        }
        const QString checker = FindChecker(QCoreApplication::applicationDirPath());
        if (checker.isEmpty()) {
            Say(stderr, QStringLiteral(
                            "zel-bench: zel_checker is neither beside zel-bench nor on the PATH"));
            return kCheckerMissing;
        }
        return RunHeadless(options, checker);
    }
    QApplication app(argc, argv);
    const QString checker = FindChecker(QCoreApplication::applicationDirPath());
    if (checker.isEmpty()) {
        Say(stderr,
            QStringLiteral("zel-bench: zel_checker is neither beside zel-bench nor on the PATH"));
        return kCheckerMissing;
    }
    QTemporaryDir work;
    ResultsKeeper keeper(options.Results, SpoolFor(options.Results));
    // Results the server could not take are sent again while the bench runs.
    if (options.Results.Kind == ResultsLocation::Kind::Postgres) {
        keeper.SetResendInterval(kSpoolRetryMs);
    }
    const QString sheets = options.SheetsFolder.isEmpty()
                               ? QDir(DataFolder()).filePath(QStringLiteral("sheets"))
                               : options.SheetsFolder;
    int status = 0;
    {
        BenchWindow window(options.Ports, options.Profile, checker, work.path(), &keeper, sheets);
        window.show();
        status = QApplication::exec();
    }
    // Results still on their way are kept, or left in the spool, before the
    // bench ends.
    if (!keeper.Finish(kFinishKeepingMs)) {
        EndWithStoreBusy(keeper);
    }
    return status;
}
