#pragma once

#include "CheckResult.h"
#include "ResultsStore.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// Keeps results through a ResultsStore that lives on a thread of its own, so
// that a slow or unreachable server never holds the caller: Keep() and
// ReadDay() return at once, the answers come back as queued signals in the
// caller's thread. The store's connections are opened, used and closed on
// that thread only. Results are kept in the order they were handed over.
class ResultsKeeper : public QObject {
    Q_OBJECT
public:
    ResultsKeeper(ResultsLocation location, QString spoolFile, QObject* parent = nullptr);
    // Finishes with the default bound.
    ~ResultsKeeper() override;
    ResultsKeeper(const ResultsKeeper&) = delete;
    ResultsKeeper& operator=(const ResultsKeeper&) = delete;

    const ResultsLocation& Location() const { return Where; }

    // Hands the result over for keeping; the outcome comes with Kept.
    void Keep(const CheckResult& result);
    // Reads the results of one day (all when day is invalid); they come with DayRead.
    void ReadDay(QDate day);
    // Every intervalMs, sends what the spool holds to the server (0: never).
    void SetResendInterval(int intervalMs);
    // Results handed over and not yet answered with Kept.
    QList<CheckResult> Pending() const;
    // Threads whose store was still inside a call when Finish ran out of
    // time; each cleans itself up when that call returns.
    static int ThreadsLeftBehind();

    // Stops taking results and waits up to boundMs for the ones handed over:
    // from now on a server's results go straight to the spool, so only a call
    // already under way can hold the wait. True when every result was kept
    // or spooled; false leaves the thread to finish on its own and the
    // results not yet answered in Pending(). Called again, does nothing.
    bool Finish(int boundMs);

    // Runs on the store's thread before each result is kept. For tests that
    // must hold the store's thread at a known point.
    void SetBeforeKeepingHook(std::function<void()> hook);

signals:
    void Kept(const CheckResult& result, ResultsStore::Outcome outcome, const QString& error);
    void DayRead(const QList<CheckResult>& results, const QString& error);
    // Results that waited in the spool and have now reached the server.
    void Delivered(const QStringList& checkIds);

private:
    class Worker;

    // Runs job(worker, answer) on the store's thread; answer(reply) runs
    // reply(keeper) back on this keeper's thread through a queued call.
    template <typename Job> void OnStoreThread(Job job);

    ResultsLocation Where;
    QThread* Thread = nullptr;
    Worker* Work = nullptr;
    QHash<QString, CheckResult> Waiting;
    QList<QString> WaitingOrder;
    std::shared_ptr<std::atomic<bool>> Hurry;
    bool Finished = false;
    bool AllKept = false;
};
