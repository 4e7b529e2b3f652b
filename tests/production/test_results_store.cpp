// The results store on a real SQLite file in a temporary folder, and on a
// real PostgreSQL server when with_postgres.sh runs this program beside one
// (ZEL_TEST_PG_SOCKET, ZEL_TEST_PG_STOP, ZEL_TEST_PG_START): results read
// back as written, the first schema upgraded, a newer one refused, and a
// server that goes away: results spooled, then delivered once it is back.
#include "production/ResultsKeeper.h"
#include "production/ResultsStore.h"

#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

bool HavePostgres() {
    return !qEnvironmentVariableIsEmpty("ZEL_TEST_PG_SOCKET");
}

CheckResult Sample(const QString& serial, const QString& started = "2026-12-07T09:00:00.000",
                   const QString& verdict = "PASS") {
    CheckResult r;
    r.CheckId = QStringLiteral("id-") + serial + started;
    r.Serial = serial;
    r.Operator = QStringLiteral("Ōta \"Ken\", line 2");
    r.Bench = QStringLiteral("bench-1");
    r.Port = QStringLiteral("COM2");
    r.Device = QStringLiteral("/dev/ttyUSB1");
    r.Rom = QStringLiteral("LUPTAB13 99-11-26");
    r.Started = QDateTime::fromString(started, Qt::ISODateWithMs);
    r.Ms = 9468;
    r.Verdict = verdict;
    r.ExitStatus = verdict == QLatin1String("PASS") ? 0 : 1;
    if (r.ExitStatus != 0) {
        r.FailedStep = QStringLiteral("Pattern1");
        r.Reason = QStringLiteral("Line2: bit differs at 25 (read 1, written 0)");
    }
    r.CheckerVersion = QStringLiteral("zel_checker 1.13");
    r.ReportJson = "{\"bytes\": \"\\r\\nQV3LUPTAB13\\u0000\\r\\n\", \"note\": \"検査\"}\n";
    return r;
}

// Every field, so that one comparison shows what differs.
QString Fields(const CheckResult& r) {
    return QStringList{r.CheckId,
                       r.Serial,
                       r.Operator,
                       r.Bench,
                       r.Port,
                       r.Device,
                       r.Rom,
                       r.Started.toString(Qt::ISODateWithMs),
                       QString::number(r.Ms),
                       r.Verdict,
                       QString::number(r.ExitStatus),
                       r.FailedStep,
                       r.Reason,
                       r.CheckerVersion,
                       QString::fromUtf8(r.ReportJson)}
        .join(QStringLiteral(" | "));
}

int gDatabases = 0;

// A server location where nobody answers: a socket folder that does not exist.
ResultsLocation Unreachable(const QString& folder) {
    ResultsLocation location;
    location.Kind = ResultsLocation::Kind::Postgres;
    location.Host = folder + QStringLiteral("/no-server-here");
    location.Database = QStringLiteral("zel");
    return location;
}

QStringList Serials(const QList<CheckResult>& results) {
    QStringList serials;
    for (const CheckResult& r : results) {
        serials << r.Serial;
    }
    return serials;
}

bool RunServerCommand(const char* variable) {
    const int status = QProcess::execute(QStringLiteral("sh"),
                                         {QStringLiteral("-c"), qEnvironmentVariable(variable)});
    return status == 0;
}

} // namespace

class TestResultsStore : public QObject {
    Q_OBJECT
private:
    QTemporaryDir Dir;

    // A fresh, empty place to keep results on the backend.
    ResultsLocation Fresh(const QString& backend) {
        ResultsLocation location;
        const QString name = QStringLiteral("zel_test_%1").arg(++gDatabases);
        if (backend == QLatin1String("sqlite")) {
            location.File = Dir.filePath(name + QStringLiteral(".sqlite"));
            return location;
        }
        location.Kind = ResultsLocation::Kind::Postgres;
        location.Host = qEnvironmentVariable("ZEL_TEST_PG_SOCKET");
        location.User = QStringLiteral("postgres");
        location.Database = name;
        {
            QSqlDatabase admin = Raw(location, QStringLiteral("postgres"));
            QSqlQuery query(admin);
            if (!query.exec(QStringLiteral("CREATE DATABASE %1").arg(name))) {
                qWarning() << query.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        return location;
    }

    // A connection of the test's own, for what the store must find or leave.
    static QSqlDatabase Raw(const ResultsLocation& location, const QString& database = {}) {
        QSqlDatabase db;
        if (location.Kind == ResultsLocation::Kind::Sqlite) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            db.setDatabaseName(location.File);
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("raw"));
            db.setHostName(location.Host);
            db.setUserName(location.User);
            db.setDatabaseName(database.isEmpty() ? location.Database : database);
        }
        if (!db.open()) {
            qWarning() << db.lastError().text();
        }
        return db;
    }

    void RawExec(const ResultsLocation& location, const QStringList& statements) {
        {
            QSqlDatabase db = Raw(location);
            QSqlQuery query(db);
            for (const QString& sql : statements) {
                QVERIFY2(query.exec(sql), qPrintable(query.lastError().text() + sql));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }

    int SchemaVersion(const ResultsLocation& location) {
        int version = -1;
        {
            QSqlDatabase db = Raw(location);
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT version FROM schema_version")) && query.next()) {
                version = query.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        return version;
    }

    static void Backends() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        if (HavePostgres()) {
            QTest::newRow("postgresql") << QStringLiteral("postgresql");
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(Dir.isValid());
        QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")),
                 "Qt's SQLite driver (libqt6sql6-sqlite) is missing");
        if (HavePostgres()) {
            QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")),
                     "Qt's PostgreSQL driver (libqt6sql6-psql) is missing");
        }
    }

    void readBackAsWritten_data() { Backends(); }
    void readBackAsWritten() {
        QFETCH(QString, backend);
        const ResultsLocation location = Fresh(backend);
        const QList<CheckResult> written{
            Sample("SN,\"0412\"", "2026-12-07T09:00:00.125", "PASS"),
            Sample("東京-0007 'x'; DROP TABLE results", "2026-12-07T09:01:00.000", "FAIL"),
            Sample("SN-late", "2026-12-08T00:00:00.000", "PASS")};
        {
            ResultsStore store(location, Dir.filePath(QStringLiteral("unused-spool.sqlite")));
            for (const CheckResult& r : written) {
                QString error;
                QCOMPARE(store.Store(r, &error), ResultsStore::Outcome::Stored);
            }
        }
        ResultsStore reopened(location, {});
        QString error;
        const QList<CheckResult> all = reopened.Results({}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(all.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(Fields(all.at(i)), Fields(written.at(i)));
        }
        const QList<CheckResult> day = reopened.Results(QDate(2026, 12, 7));
        QCOMPARE(day.size(), 2);
        QCOMPARE(day.at(1).Serial, written.at(1).Serial);
        QCOMPARE(SchemaVersion(location), kResultsSchemaVersion);
    }

    void upgradesTheFirstSchema_data() { Backends(); }
    void upgradesTheFirstSchema() {
        QFETCH(QString, backend);
        const ResultsLocation location = Fresh(backend);
        const QString id = backend == QLatin1String("sqlite")
                               ? QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT")
                               : QStringLiteral("id SERIAL PRIMARY KEY");
        // The first layout, as the first zel-bench wrote it.
        RawExec(location,
                {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
                 QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"),
                 QStringLiteral("CREATE TABLE results (%1, serial TEXT NOT NULL, operator TEXT, "
                                "port TEXT, device TEXT, rom TEXT, started TEXT NOT NULL, "
                                "seconds REAL, verdict TEXT NOT NULL, failed_step TEXT, "
                                "reason TEXT)")
                     .arg(id),
                 QStringLiteral("INSERT INTO results (serial, operator, port, device, rom, "
                                "started, seconds, verdict, failed_step, reason) VALUES ('SN-1', "
                                "'Ana', 'COM1', '/dev/ttyUSB0', 'RAVB1', "
                                "'2026-11-30T08:00:00.000', 9.5, 'PASS', '', '')"),
                 QStringLiteral("INSERT INTO results (serial, operator, port, device, rom, "
                                "started, seconds, verdict, failed_step, reason) VALUES ('SN-2', "
                                "'Ana', 'COM1', '/dev/ttyUSB0', 'RAVB1', "
                                "'2026-11-30T08:01:00.000', 7.25, 'FAIL', 'Clear4', 'x')")});
        ResultsStore store(location, {});
        QCOMPARE(store.Store(Sample("SN-3")), ResultsStore::Outcome::Stored);
        QCOMPARE(SchemaVersion(location), 2);
        const QList<CheckResult> all = store.Results();
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.at(0).Serial, QStringLiteral("SN-1"));
        QCOMPARE(all.at(0).CheckId, QStringLiteral("first-schema-1"));
        QCOMPARE(all.at(0).ExitStatus, 0);
        QCOMPARE(all.at(0).Ms, 9500);
        QCOMPARE(all.at(1).ExitStatus, 1);
        QCOMPARE(all.at(1).FailedStep, QStringLiteral("Clear4"));
        QCOMPARE(all.at(2).Serial, QStringLiteral("SN-3"));
    }

    void refusesANewerSchema_data() { Backends(); }
    void refusesANewerSchema() {
        QFETCH(QString, backend);
        const ResultsLocation location = Fresh(backend);
        RawExec(location, {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
                           QStringLiteral("INSERT INTO schema_version (version) VALUES (3)")});
        ResultsStore store(location, Dir.filePath(QStringLiteral("newer-spool.sqlite")));
        QString error;
        const auto outcome = store.Store(Sample("SN"), &error);
        // A server's result is kept in the spool until a newer bench takes it.
        QCOMPARE(outcome, backend == QLatin1String("sqlite") ? ResultsStore::Outcome::Lost
                                                             : ResultsStore::Outcome::Spooled);
        QVERIFY2(error.contains(QStringLiteral("newer zel-bench (schema version 3")),
                 qPrintable(error));
    }

    void aFileThatCannotBeWritten() {
        QFile blocker(Dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ResultsLocation location;
        location.File = Dir.filePath(QStringLiteral("not-a-folder/results.sqlite"));
        ResultsStore store(location, {});
        QString error;
        QCOMPARE(store.Store(Sample("SN"), &error), ResultsStore::Outcome::Lost);
        QVERIFY2(error.contains(QStringLiteral("not-a-folder")), qPrintable(error));
    }

    // The keeper's thread is held inside its first store; the caller has
    // already got its calls back and sees both results still pending.
    void keepingDoesNotHoldTheCaller() {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            QSKIP("Qt's PostgreSQL driver is not installed");
        }
        const QString spool = Dir.filePath(QStringLiteral("held-spool.sqlite"));
        ResultsKeeper keeper(Unreachable(Dir.path()), spool);
        QSemaphore entered;
        QSemaphore gate;
        std::atomic<bool> heldTooLong{false};
        keeper.SetBeforeKeepingHook([&] {
            entered.release();
            // A caller that waits for the store would never let this through.
            heldTooLong = heldTooLong || !gate.tryAcquire(1, 60000);
        });
        QSignalSpy kept(&keeper, &ResultsKeeper::Kept);
        keeper.Keep(Sample("SN-A"));
        keeper.Keep(Sample("SN-B", "2026-12-07T09:01:00.000", "FAIL"));
        QVERIFY(entered.tryAcquire(1, 60000));
        QCOMPARE(Serials(keeper.Pending()), (QStringList{"SN-A", "SN-B"}));
        gate.release(2);
        QTRY_COMPARE_WITH_TIMEOUT(kept.size(), 2, 60000);
        QVERIFY(!heldTooLong);
        QCOMPARE(kept.at(0).at(1).value<ResultsStore::Outcome>(), ResultsStore::Outcome::Spooled);
        QVERIFY2(kept.at(0).at(2).toString().contains(QStringLiteral("cannot reach")),
                 qPrintable(kept.at(0).at(2).toString()));
        QCOMPARE(kept.at(1).at(0).value<CheckResult>().Serial, QStringLiteral("SN-B"));
        QVERIFY(keeper.Pending().isEmpty());
        QVERIFY(keeper.Finish(60000));
        QCOMPARE(ResultsStore(Unreachable(Dir.path()), spool).Spooled(), 2);
    }

    // Results handed over just before the bench ends are all answered for:
    // kept, or in the spool, none dropped with the thread's queue.
    void finishingKeepsWhatWasHandedOver_data() {
        QTest::addColumn<bool>("server");
        QTest::newRow("sqlite") << false;
        QTest::newRow("unreachable server") << true;
    }
    void finishingKeepsWhatWasHandedOver() {
        QFETCH(bool, server);
        if (server && !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            QSKIP("Qt's PostgreSQL driver is not installed");
        }
        const ResultsLocation location = server ? Unreachable(Dir.path()) : Fresh("sqlite");
        const QString spool = Dir.filePath(QStringLiteral("finish-spool-%1.sqlite").arg(server));
        ResultsKeeper keeper(location, spool);
        QSignalSpy kept(&keeper, &ResultsKeeper::Kept);
        QList<CheckResult> handed;
        for (int i = 0; i < 5; ++i) {
            handed << Sample(QStringLiteral("SN-%1").arg(i),
                             QStringLiteral("2026-12-07T10:0%1:00.000").arg(i),
                             i == 2 ? "FAIL" : "PASS");
            keeper.Keep(handed.last());
        }
        QVERIFY(keeper.Finish(60000));
        QCOMPARE(kept.size(), 5);
        for (const QList<QVariant>& answer : kept) {
            QCOMPARE(answer.at(1).value<ResultsStore::Outcome>(),
                     server ? ResultsStore::Outcome::Spooled : ResultsStore::Outcome::Stored);
        }
        // A bench started later finds them, every field as handed over; a
        // server still away takes none of them out of the spool.
        ResultsStore later(location, spool);
        const QList<CheckResult> found = later.Results();
        QCOMPARE(found.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(Fields(found.at(i)), Fields(handed.at(i)));
        }
        if (server) {
            QCOMPARE(later.DeliverSpool(), 0);
            QCOMPARE(later.Spooled(), 5);
        }
        // Nothing more is taken, and the caller hears so.
        keeper.Keep(Sample("SN-late", "2026-12-07T11:00:00.000", "PASS"));
        QCOMPARE(kept.size(), 6);
        QCOMPARE(kept.last().at(1).value<ResultsStore::Outcome>(), ResultsStore::Outcome::Lost);
    }

    // A store that does not answer within the bound leaves the results it
    // has not answered for with the caller, to be told.
    void finishingWithinItsBound() {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            QSKIP("Qt's PostgreSQL driver is not installed");
        }
        const QString spool = Dir.filePath(QStringLiteral("bound-spool.sqlite"));
        auto gate = std::make_shared<QSemaphore>();
        auto keeper = std::make_unique<ResultsKeeper>(Unreachable(Dir.path()), spool);
        keeper->SetBeforeKeepingHook([gate] { gate->acquire(); });
        keeper->Keep(Sample("SN-A"));
        QVERIFY(!keeper->Finish(100));
        QCOMPARE(Serials(keeper->Pending()), QStringList{"SN-A"});
        keeper.reset();
        // Let the left-behind thread end; its result still reaches the spool.
        gate->release();
        QTRY_COMPARE_WITH_TIMEOUT(ResultsStore(Unreachable(Dir.path()), spool).Spooled(), 1, 60000);
        // ... and the thread then ends and cleans up after itself.
        QTRY_COMPARE_WITH_TIMEOUT(ResultsKeeper::ThreadsLeftBehind(), 0, 60000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void serverStoppedMidRun() {
        if (!HavePostgres()) {
            QSKIP("no PostgreSQL server (tests/production/with_postgres.sh starts one)");
        }
        const ResultsLocation location = Fresh(QStringLiteral("postgresql"));
        const QString spool = Dir.filePath(QStringLiteral("mid-run-spool.sqlite"));
        QList<CheckResult> checked;
        for (int i = 0; i < 5; ++i) {
            checked << Sample(QStringLiteral("SN-%1").arg(i),
                              QStringLiteral("2026-12-07T10:0%1:00.000").arg(i),
                              i == 2 ? "FAIL" : "PASS");
        }
        {
            ResultsStore store(location, spool);
            QCOMPARE(store.Store(checked.at(0)), ResultsStore::Outcome::Stored);
            QVERIFY(RunServerCommand("ZEL_TEST_PG_STOP"));
            QCOMPARE(store.Store(checked.at(1)), ResultsStore::Outcome::Spooled);
            QCOMPARE(store.Store(checked.at(2)), ResultsStore::Outcome::Spooled);
            QCOMPARE(store.Spooled(), 2);
            QVERIFY(RunServerCommand("ZEL_TEST_PG_START"));
            // The next result goes to the server, after the ones that waited.
            QCOMPARE(store.Store(checked.at(3)), ResultsStore::Outcome::Stored);
            QCOMPARE(store.Spooled(), 0);
            QVERIFY(RunServerCommand("ZEL_TEST_PG_STOP"));
            QCOMPARE(store.Store(checked.at(4)), ResultsStore::Outcome::Spooled);
        }
        QVERIFY(RunServerCommand("ZEL_TEST_PG_START"));
        {
            // Another bench run sends what the last one left behind from its
            // keeper's thread, and tells which result arrived.
            ResultsKeeper next(location, spool);
            QSignalSpy delivered(&next, &ResultsKeeper::Delivered);
            next.SetResendInterval(200);
            QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, 60000);
            QCOMPARE(delivered.first().first().toStringList(), QStringList{checked.at(4).CheckId});
            QVERIFY(next.Finish(60000));
            QCOMPARE(ResultsStore(location, spool).Spooled(), 0);
        }
        // What the server holds, read without the spool.
        ResultsStore server(location, Dir.filePath(QStringLiteral("empty-spool.sqlite")));
        const QList<CheckResult> all = server.Results();
        QCOMPARE(all.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(Fields(all.at(i)), Fields(checked.at(i)));
        }
    }
};

QTEST_GUILESS_MAIN(TestResultsStore)
#include "test_results_store.moc"
