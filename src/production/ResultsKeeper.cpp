#include "ResultsKeeper.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kDefaultFinishMs = 15000;
std::atomic<int> LeftBehind{0};

} // namespace

// Lives on the store's thread: the store itself (created there on first use,
// as its connections belong to the thread that opens them), the resend timer
// and the test hook.
class ResultsKeeper::Worker : public QObject {
public:
    Worker(ResultsLocation location, QString spoolFile, std::shared_ptr<std::atomic<bool>> hurry)
        : Where(std::move(location)), SpoolFile(std::move(spoolFile)), Hurry(std::move(hurry)) {}

    ResultsStore& Store() {
        if (!Kept) {
            Kept = std::make_unique<ResultsStore>(Where, SpoolFile);
        }
        return *Kept;
    }

    void Close() {
        delete Resend;
        Resend = nullptr;
        Kept.reset();
    }

    ResultsLocation Where;
    QString SpoolFile;
    std::shared_ptr<std::atomic<bool>> Hurry;
    std::unique_ptr<ResultsStore> Kept;
    QTimer* Resend = nullptr;
    std::function<void()> BeforeKeeping;
};

ResultsKeeper::ResultsKeeper(ResultsLocation location, QString spoolFile, QObject* parent)
    : QObject(parent), Where(location), Thread(new QThread),
      Hurry(std::make_shared<std::atomic<bool>>(false)) {
    Thread->setObjectName(QStringLiteral("results"));
    Work = new Worker(std::move(location), std::move(spoolFile), Hurry);
    Work->moveToThread(Thread);
    Thread->start();
}

ResultsKeeper::~ResultsKeeper() {
    Finish(kDefaultFinishMs);
}

template <typename Job> void ResultsKeeper::OnStoreThread(Job job) {
    Worker* work = Work;
    QPointer<ResultsKeeper> self(this);
    // Posts an answer back to this keeper's thread; dropped when the keeper
    // was left behind at the end of the program.
    const auto answer = [self](auto reply) {
        if (!self.isNull()) {
            QMetaObject::invokeMethod(
                self, [self, reply] { reply(*self); }, Qt::QueuedConnection);
        }
    };
    QMetaObject::invokeMethod(
        Work, [work, answer, job = std::move(job)] { job(*work, answer); }, Qt::QueuedConnection);
}

void ResultsKeeper::Keep(const CheckResult& result) {
    if (Finished) {
        emit Kept(result, ResultsStore::Outcome::Lost,
                  QStringLiteral("the bench was closing and kept no more results"));
        return;
    }
    if (!Waiting.contains(result.CheckId)) {
        WaitingOrder.append(result.CheckId);
    }
    Waiting.insert(result.CheckId, result);
    OnStoreThread([result](Worker& work, const auto& answer) {
        if (work.BeforeKeeping) {
            work.BeforeKeeping();
        }
        QString error;
        // Once the bench closes, a server's results go to the spool at once
        // rather than wait for a server that may not answer.
        const ResultsStore::Outcome outcome =
            *work.Hurry ? work.Store().Spool(result, &error) : work.Store().Store(result, &error);
        answer([result, outcome, error](ResultsKeeper& self) {
            self.Waiting.remove(result.CheckId);
            self.WaitingOrder.removeOne(result.CheckId);
            emit self.Kept(result, outcome, error);
        });
    });
}

void ResultsKeeper::ReadDay(QDate day) {
    if (Finished) {
        return;
    }
    OnStoreThread([day](Worker& work, const auto& answer) {
        QString error;
        const QList<CheckResult> results = work.Store().Results(day, &error);
        answer([results, error](ResultsKeeper& self) { emit self.DayRead(results, error); });
    });
}

void ResultsKeeper::SetResendInterval(int intervalMs) {
    if (Finished) {
        return;
    }
    OnStoreThread([intervalMs](Worker& work, const auto& answer) {
        delete work.Resend;
        work.Resend = nullptr;
        if (intervalMs <= 0) {
            return;
        }
        work.Resend = new QTimer(&work);
        QObject::connect(work.Resend, &QTimer::timeout, &work, [w = &work, answer] {
            if (*w->Hurry) {
                return;
            }
            QStringList arrived;
            w->Store().DeliverSpool(&arrived);
            if (!arrived.isEmpty()) {
                answer([arrived](ResultsKeeper& self) { emit self.Delivered(arrived); });
            }
        });
        work.Resend->start(intervalMs);
    });
}

QList<CheckResult> ResultsKeeper::Pending() const {
    QList<CheckResult> pending;
    for (const QString& id : WaitingOrder) {
        pending.append(Waiting.value(id));
    }
    return pending;
}

void ResultsKeeper::SetBeforeKeepingHook(std::function<void()> hook) {
    Worker* work = Work;
    QMetaObject::invokeMethod(
        Work, [work, hook = std::move(hook)] { work->BeforeKeeping = hook; }, Qt::QueuedConnection);
}

int ResultsKeeper::ThreadsLeftBehind() {
    return LeftBehind;
}

bool ResultsKeeper::Finish(int boundMs) {
    if (Finished) {
        return AllKept;
    }
    Finished = true;
    *Hurry = true;
    // Runs after every result handed over before it, in order.
    Worker* work = Work;
    QThread* thread = Thread;
    QMetaObject::invokeMethod(
        Work,
        [work, thread] {
            work->Close();
            thread->quit();
        },
        Qt::QueuedConnection);
    if (!Thread->wait(QDeadlineTimer(boundMs))) {
        // Still inside a call to the server: the thread and its store are
        // left to end by themselves once that call returns (the close and
        // quit queued above then run); what it had not answered stays in
        // Pending() for the caller to tell.
        ++LeftBehind;
        QObject::connect(
            Thread, &QThread::finished, Thread,
            [work, thread] {
                delete work;
                thread->deleteLater();
                --LeftBehind;
            },
            Qt::DirectConnection);
        Thread = nullptr;
        Work = nullptr;
        return false;
    }
    // The answers posted while this thread waited are taken now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    delete Work;
    Work = nullptr;
    delete Thread;
    Thread = nullptr;
    AllKept = Waiting.isEmpty();
    return AllKept;
}
