#include "ResultsStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <functional>

namespace {

std::atomic<int> gConnectionCount{0};

constexpr int kServerConnectSeconds = 3;
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// Columns of a result, in the order they are written and read.
const QStringList kColumns{
    QStringLiteral("check_id"), QStringLiteral("serial"),      QStringLiteral("operator"),
    QStringLiteral("bench"),    QStringLiteral("port"),        QStringLiteral("device"),
    QStringLiteral("rom"),      QStringLiteral("started"),     QStringLiteral("seconds"),
    QStringLiteral("verdict"),  QStringLiteral("exit_status"), QStringLiteral("failed_step"),
    QStringLiteral("reason"),   QStringLiteral("checker"),     QStringLiteral("report")};

bool Exec(QSqlQuery& query, const QString& sql, QString* error) {
    if (query.exec(sql)) {
        return true;
    }
    if (error != nullptr) {
        *error = query.lastError().text();
    }
    return false;
}

bool IsPostgres(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

// The first layout: one row per check, without the bench, the checker's
// version, its exit status and report.
QStringList SchemaVersion1(bool postgres) {
    const QString id = postgres ? QStringLiteral("id SERIAL PRIMARY KEY")
                                : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
    return {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"),
            QStringLiteral("CREATE TABLE results (%1, serial TEXT NOT NULL, operator TEXT, "
                           "port TEXT, device TEXT, rom TEXT, started TEXT NOT NULL, "
                           "seconds REAL, verdict TEXT NOT NULL, failed_step TEXT, reason TEXT)")
                .arg(id)};
}

// Version 2: the bench, the checker's version and exit status, the whole
// report, and an id per check so that a result delivered twice is kept once.
QStringList UpgradeTo2() {
    return {QStringLiteral("ALTER TABLE results ADD COLUMN check_id TEXT"),
            QStringLiteral("ALTER TABLE results ADD COLUMN bench TEXT"),
            QStringLiteral("ALTER TABLE results ADD COLUMN exit_status INTEGER"),
            QStringLiteral("ALTER TABLE results ADD COLUMN checker TEXT"),
            QStringLiteral("ALTER TABLE results ADD COLUMN report TEXT"),
            QStringLiteral("UPDATE results SET check_id = 'first-schema-' || id, "
                           "exit_status = CASE verdict WHEN 'PASS' THEN 0 WHEN 'FAIL' THEN 1 "
                           "WHEN 'NO UNIT' THEN 2 ELSE NULL END"),
            QStringLiteral("CREATE UNIQUE INDEX results_check_id ON results (check_id)"),
            QStringLiteral("CREATE INDEX results_started ON results (started)"),
            QStringLiteral("UPDATE schema_version SET version = 2")};
}

// Brings the database to the current schema in one transaction: creates it
// when empty, upgrades an older one, refuses a newer one.
bool EnsureSchema(QSqlDatabase& db, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    int version = 0;
    if (db.tables().contains(QStringLiteral("schema_version"))) {
        if (!Exec(query, QStringLiteral("SELECT MAX(version) FROM schema_version"), error)) {
            db.rollback();
            return false;
        }
        version = query.next() ? query.value(0).toInt() : 0;
    }
    QStringList steps;
    if (version == 0) {
        steps << SchemaVersion1(IsPostgres(db)) << UpgradeTo2();
    } else if (version == 1) {
        steps << UpgradeTo2();
    } else if (version > kResultsSchemaVersion) {
        db.rollback();
        *error = QStringLiteral("the results were written by a newer zel-bench (schema version "
                                "%1, this one knows %2)")
                     .arg(version)
                     .arg(kResultsSchemaVersion);
        return false;
    }
    for (const QString& sql : steps) {
        if (!Exec(query, sql, error)) {
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

bool Insert(QSqlDatabase& db, const CheckResult& r, QString* error) {
    QSqlQuery query(db);
    QStringList marks;
    for (qsizetype i = 0; i < kColumns.size(); ++i) {
        marks << QStringLiteral("?");
    }
    query.prepare(QStringLiteral("INSERT INTO results (%1) VALUES (%2)")
                      .arg(kColumns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    const QVariantList values{r.CheckId,
                              r.Serial,
                              r.Operator,
                              r.Bench,
                              r.Port,
                              r.Device,
                              r.Rom,
                              r.Started.toString(kTimeFormat),
                              static_cast<double>(r.Ms) / 1000.0,
                              r.Verdict,
                              r.ExitStatus,
                              r.FailedStep,
                              r.Reason,
                              r.CheckerVersion,
                              QString::fromUtf8(r.ReportJson)};
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

CheckResult FromRow(const QSqlQuery& query) {
    CheckResult r;
    r.CheckId = query.value(0).toString();
    r.Serial = query.value(1).toString();
    r.Operator = query.value(2).toString();
    r.Bench = query.value(3).toString();
    r.Port = query.value(4).toString();
    r.Device = query.value(5).toString();
    r.Rom = query.value(6).toString();
    r.Started = QDateTime::fromString(query.value(7).toString(), kTimeFormat);
    r.Ms = qRound64(query.value(8).toDouble() * 1000.0);
    r.Verdict = query.value(9).toString();
    r.ExitStatus = query.value(10).isNull() ? -1 : query.value(10).toInt();
    r.FailedStep = query.value(11).toString();
    r.Reason = query.value(12).toString();
    r.CheckerVersion = query.value(13).toString();
    r.ReportJson = query.value(14).toString().toUtf8();
    return r;
}

bool ReadResults(QSqlDatabase& db, QDate day, QList<CheckResult>* into, QString* error) {
    QSqlQuery query(db);
    QString sql = QStringLiteral("SELECT %1 FROM results").arg(kColumns.join(QLatin1Char(',')));
    if (day.isValid()) {
        sql += QStringLiteral(" WHERE started >= ? AND started < ?");
    }
    sql += QStringLiteral(" ORDER BY started, id");
    query.prepare(sql);
    if (day.isValid()) {
        query.addBindValue(day.toString(Qt::ISODate));
        query.addBindValue(day.addDays(1).toString(Qt::ISODate));
    }
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    while (query.next()) {
        into->append(FromRow(query));
    }
    return true;
}

bool Transaction(QSqlDatabase& db, const std::function<bool(QString*)>& work, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    if (!work(error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool OpenSqlite(const QString& name, const QString& file, QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("Qt's SQLite driver is not installed (libqt6sql6-sqlite)");
        return false;
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = QStringLiteral("cannot open %1: %2").arg(file, db.lastError().text());
        return false;
    }
    return EnsureSchema(db, error);
}

} // namespace

QString ResultsLocation::Describe() const {
    if (Kind == Kind::Sqlite) {
        return File;
    }
    QString text = QStringLiteral("postgresql://");
    if (!User.isEmpty()) {
        text += User + QLatin1Char('@');
    }
    if (!Host.startsWith(QLatin1Char('/'))) {
        text += Host;
    }
    if (Port > 0) {
        text += QLatin1Char(':') + QString::number(Port);
    }
    text += QLatin1Char('/') + Database;
    if (Host.startsWith(QLatin1Char('/'))) {
        text += QStringLiteral("?host=") + Host;
    }
    return text;
}

std::optional<ResultsLocation> ParseResultsLocation(const QString& text, const QString& defaultFile,
                                                    QString* error) {
    ResultsLocation location;
    if (text.isEmpty()) {
        location.File = defaultFile;
        return location;
    }
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0) {
        location.File = text;
        return location;
    }
    const QString scheme = text.left(schemeEnd).toLower();
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) {
        *error = QStringLiteral("%1: unknown kind of results URL (a file name, or "
                                "postgresql://user@host/database)")
                     .arg(text);
        return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        *error = QStringLiteral("%1: not a valid URL (%2)").arg(text, url.errorString());
        return std::nullopt;
    }
    location.Kind = ResultsLocation::Kind::Postgres;
    location.Host = url.host();
    location.Port = url.port(-1);
    location.User = url.userName();
    location.Password = url.password();
    location.Database = url.path().mid(1);
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host")) {
            location.Host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            location.Port = value.toInt(&ok);
            if (!ok || location.Port <= 0 || location.Port > 65535) {
                *error = QStringLiteral("%1: port %2 is not a port number").arg(text, value);
                return std::nullopt;
            }
        } else {
            *error = QStringLiteral("%1: unknown parameter %2 (only host and port)").arg(text, key);
            return std::nullopt;
        }
    }
    if (location.Database.isEmpty() || location.Database.contains(QLatin1Char('/'))) {
        *error =
            QStringLiteral("%1: names no database (postgresql://user@host/database)").arg(text);
        return std::nullopt;
    }
    if (location.Host.isEmpty()) {
        *error = QStringLiteral("%1: names no server (a host, or ?host=/socket/folder)").arg(text);
        return std::nullopt;
    }
    return location;
}

QString SpoolFileFor(const ResultsLocation& location, const QString& dataFolder) {
    const QByteArray key = location.Describe().toUtf8();
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(12));
    return QDir(dataFolder).filePath(QStringLiteral("spool-%1.sqlite").arg(hash));
}

ResultsStore::ResultsStore(ResultsLocation location, QString spoolFile)
    : Where(std::move(location)), SpoolFile(std::move(spoolFile)) {
    const int n = gConnectionCount++;
    MainName = QStringLiteral("zel-results-%1").arg(n);
    SpoolName = QStringLiteral("zel-spool-%1").arg(n);
}

ResultsStore::~ResultsStore() {
    for (const QString& name : {MainName, SpoolName}) {
        if (QSqlDatabase::contains(name)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }
}

bool ResultsStore::OpenMain(QString* error) {
    if (MainReady && QSqlDatabase::database(MainName, false).isOpen()) {
        return true;
    }
    MainReady = false;
    if (QSqlDatabase::contains(MainName)) {
        QSqlDatabase::database(MainName, false).close();
        QSqlDatabase::removeDatabase(MainName);
    }
    if (Where.Kind == ResultsLocation::Kind::Sqlite) {
        MainReady = OpenSqlite(MainName, Where.File, error);
        return MainReady;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *error = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), MainName);
    db.setHostName(Where.Host);
    if (Where.Port > 0) {
        db.setPort(Where.Port);
    }
    db.setUserName(Where.User);
    db.setPassword(Where.Password);
    db.setDatabaseName(Where.Database);
    db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kServerConnectSeconds));
    if (!db.open()) {
        *error = QStringLiteral("cannot reach %1: %2")
                     .arg(Where.Describe(), db.lastError().text().trimmed());
        return false;
    }
    MainReady = EnsureSchema(db, error);
    return MainReady;
}

bool ResultsStore::OpenSpool(QString* error) {
    if (SpoolReady) {
        return true;
    }
    if (SpoolFile.isEmpty()) {
        *error = QStringLiteral("no spool");
        return false;
    }
    SpoolReady = OpenSqlite(SpoolName, SpoolFile, error);
    return SpoolReady;
}

ResultsStore::Outcome ResultsStore::Store(const CheckResult& result, QString* error) {
    QString why;
    if (Where.Kind == ResultsLocation::Kind::Sqlite) {
        if (OpenMain(&why)) {
            QSqlDatabase db = QSqlDatabase::database(MainName, false);
            if (Transaction(
                    db, [&](QString* e) { return Insert(db, result, e); }, &why)) {
                return Outcome::Stored;
            }
        }
        if (error != nullptr) {
            *error = why;
        }
        return Outcome::Lost;
    }
    DeliverSpool();
    // A connection the server dropped is opened once more before giving up.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!OpenMain(&why)) {
            break;
        }
        QSqlDatabase db = QSqlDatabase::database(MainName, false);
        if (Transaction(
                db, [&](QString* e) { return Insert(db, result, e); }, &why)) {
            return Outcome::Stored;
        }
        db.close();
        MainReady = false;
    }
    return IntoSpool(result, why, error);
}

ResultsStore::Outcome ResultsStore::Spool(const CheckResult& result, QString* error) {
    if (Where.Kind == ResultsLocation::Kind::Sqlite) {
        return Store(result, error);
    }
    return IntoSpool(result,
                     QStringLiteral("the bench was closing; sent to %1 when it runs again")
                         .arg(Where.Describe()),
                     error);
}

ResultsStore::Outcome ResultsStore::IntoSpool(const CheckResult& result, const QString& why,
                                              QString* error) {
    QString spoolWhy;
    if (OpenSpool(&spoolWhy)) {
        QSqlDatabase spool = QSqlDatabase::database(SpoolName, false);
        if (Transaction(
                spool, [&](QString* e) { return Insert(spool, result, e); }, &spoolWhy)) {
            if (error != nullptr) {
                *error = why;
            }
            return Outcome::Spooled;
        }
    }
    if (error != nullptr) {
        *error = QStringLiteral("%1; the spool %2 could not take it either: %3")
                     .arg(why, SpoolFile, spoolWhy);
    }
    return Outcome::Lost;
}

int ResultsStore::Spooled() {
    if (Where.Kind == ResultsLocation::Kind::Sqlite || !QFileInfo::exists(SpoolFile)) {
        return 0;
    }
    QString why;
    if (!OpenSpool(&why)) {
        return 0;
    }
    QSqlQuery query(QSqlDatabase::database(SpoolName, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM results")) || !query.next()) {
        return 0;
    }
    return query.value(0).toInt();
}

int ResultsStore::DeliverSpool(QStringList* arrived) {
    if (Spooled() == 0) {
        return 0;
    }
    QString why;
    if (!OpenMain(&why)) {
        return 0;
    }
    QSqlDatabase spool = QSqlDatabase::database(SpoolName, false);
    QSqlDatabase db = QSqlDatabase::database(MainName, false);
    QList<CheckResult> waiting;
    if (!ReadResults(spool, {}, &waiting, &why)) {
        return 0;
    }
    int delivered = 0;
    for (const CheckResult& result : waiting) {
        // Sent, then taken from the spool: a result whose sending was cut
        // short after the server kept it is recognised by its id.
        const bool sent = Transaction(
            db,
            [&](QString* e) {
                QSqlQuery seen(db);
                seen.prepare(QStringLiteral("SELECT COUNT(*) FROM results WHERE check_id = ?"));
                seen.addBindValue(result.CheckId);
                if (!seen.exec() || !seen.next()) {
                    *e = seen.lastError().text();
                    return false;
                }
                return seen.value(0).toInt() > 0 || Insert(db, result, e);
            },
            &why);
        if (!sent) {
            db.close();
            MainReady = false;
            break;
        }
        QSqlQuery remove(spool);
        remove.prepare(QStringLiteral("DELETE FROM results WHERE check_id = ?"));
        remove.addBindValue(result.CheckId);
        if (!remove.exec()) {
            break;
        }
        ++delivered;
        if (arrived != nullptr) {
            arrived->append(result.CheckId);
        }
    }
    return delivered;
}

QList<CheckResult> ResultsStore::Results(QDate day, QString* error) {
    QList<CheckResult> results;
    QString why;
    bool mainRead = false;
    if (OpenMain(&why)) {
        QSqlDatabase db = QSqlDatabase::database(MainName, false);
        mainRead = ReadResults(db, day, &results, &why);
    }
    bool spoolRead = false;
    if (Where.Kind == ResultsLocation::Kind::Postgres && Spooled() > 0) {
        QSqlDatabase spool = QSqlDatabase::database(SpoolName, false);
        QList<CheckResult> waiting;
        QString spoolWhy;
        spoolRead = ReadResults(spool, day, &waiting, &spoolWhy);
        for (const CheckResult& r : waiting) {
            const bool known =
                std::any_of(results.cbegin(), results.cend(),
                            [&r](const CheckResult& s) { return s.CheckId == r.CheckId; });
            if (!known) {
                results.append(r);
            }
        }
        std::stable_sort(
            results.begin(), results.end(),
            [](const CheckResult& a, const CheckResult& b) { return a.Started < b.Started; });
    }
    if (!mainRead && !spoolRead && error != nullptr) {
        *error = why;
    }
    return results;
}
