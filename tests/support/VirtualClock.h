#pragma once

#include "controls/Clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

// The window's time for tests: a clock that moves only when the window waits
// or the test lets time pass. Timers fire and the unit's bytes arrive in the
// order of their times, inside the waits that serve them, exactly as the
// event loop nests them; no real time passes and nothing can be late.
//
// Two kinds of happenings are scheduled on it:
// - timers (the polling tick, the watch, the one-second tick), which fire
//   only while the window serves events, as Qt's timers do; a timer whose
//   handler is still running does not fire again inside it, and a timer
//   held past its time fires once, then keeps its period from then;
// - line events (bytes reaching the port), which happen at their time
//   whether or not the window serves events: a frame collection holding the
//   window still sees the bytes arrive.
class VirtualClock : public Clock {
public:
    VirtualClock() { QCoreApplication::instance()->installEventFilter(&Events); }
    ~VirtualClock() override {
        for (Timer* t : Timers) {
            t->Owner = nullptr;
        }
    }
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    qint64 NowNs() const override { return Now; }

    std::unique_ptr<ClockTimer> NewTimer(std::function<void()> onTimeout) override {
        auto timer = std::make_unique<Timer>(this, std::move(onTimeout), NextSeq++);
        Timers.push_back(timer.get());
        return timer;
    }

    void ServeEvents(int maxMs) override { Step(Now + Ms(std::max(1, maxMs))); }
    void WakeWaits() override {}
    void Hold(int microseconds) override { AdvanceLine(Now + qint64{microseconds} * 1000); }

    // A handler run once, ms from now, while the window serves events (as a
    // single-shot timer of the event loop).
    void After(int ms, std::function<void()> handler) {
        auto timer = std::make_unique<Timer>(this, std::move(handler), NextSeq++);
        Timers.push_back(timer.get());
        timer->SingleShot = true;
        timer->Start(ms);
        OneShots.push_back(std::move(timer));
    }

    // Bytes (or any other line event) that reach the port ms from now.
    void OnLineAfter(int ms, std::function<void()> event) {
        Line.emplace(Now + Ms(ms), std::move(event));
    }
    // A line event at a time of the clock, to the nanosecond (a byte paced at
    // 9600 baud does not keep to whole milliseconds); one in the past happens
    // at once.
    void OnLineAtNs(qint64 atNs, std::function<void()> event) {
        Line.emplace(std::max(Now, atNs), std::move(event));
    }
    // The window is held for up to maxMs waiting for bytes: the line moves on
    // to its next event if one comes by then (and stops there), else by maxMs.
    void AwaitLine(int maxMs) {
        const qint64 limit = Now + Ms(std::max(1, maxMs));
        if (!Line.empty() && Line.begin()->first <= limit) {
            AdvanceLine(Line.begin()->first);
        } else {
            Now = limit;
        }
    }

    // Serves events as the window's loop would, for ms of the clock's time;
    // everything due by then has run when it returns.
    void RunFor(int ms) {
        const qint64 until = Now + Ms(ms);
        while (Step(until)) {
        }
    }
    // Serves events until done() holds or maxMs have passed; done() as it
    // stands then.
    bool RunUntil(const std::function<bool()>& done, int maxMs) {
        const qint64 until = Now + Ms(maxMs);
        while (!done() && Step(until)) {
        }
        return done();
    }

private:
    static constexpr qint64 Ms(qint64 ms) { return ms * 1'000'000; }
    static constexpr qint64 kNever = std::numeric_limits<qint64>::max();

    class Timer : public ClockTimer {
    public:
        Timer(VirtualClock* owner, std::function<void()> onTimeout, quint64 seq)
            : Owner(owner), OnTimeout(std::move(onTimeout)), Seq(seq) {}
        ~Timer() override {
            if (Owner != nullptr) {
                std::erase(Owner->Timers, this);
            }
        }
        void Start(int periodMs) override {
            Period = std::max(0, periodMs);
            Due = Owner->Now + Ms(Period);
            Active = true;
        }
        void Stop() override { Active = false; }
        bool IsActive() const override { return Active; }
        int PeriodMs() const override { return Period; }

        VirtualClock* Owner;
        std::function<void()> OnTimeout;
        quint64 Seq;
        int Period = 0;
        qint64 Due = 0;
        bool Active = false;
        bool Firing = false;
        bool SingleShot = false;
    };

    // Counts the events the application delivers: a wait that served any
    // looks at its condition again before time moves on.
    class EventCounter : public QObject {
    public:
        quint64 Count = 0;
        bool eventFilter(QObject*, QEvent*) override {
            ++Count;
            return false;
        }
    };

    bool ServePosted() {
        const quint64 before = Events.Count;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return Events.Count != before;
    }

    // The timer that fires next: the earliest due, the oldest first among
    // equals; none while its own handler runs.
    Timer* NextTimer() const {
        Timer* next = nullptr;
        for (Timer* t : Timers) {
            if (t->Active && !t->Firing &&
                (next == nullptr || t->Due < next->Due ||
                 (t->Due == next->Due && t->Seq < next->Seq))) {
                next = t;
            }
        }
        return next;
    }

    void Fire(Timer* t) {
        // As Qt reschedules a late precise timer: from its last due time, or
        // from now when that has passed.
        t->Due += Ms(std::max(1, t->Period));
        if (t->Due <= Now) {
            t->Due = Now + Ms(std::max(1, t->Period));
        }
        t->Firing = true;
        t->Active = !t->SingleShot;
        t->OnTimeout();
        // The timer may have been destroyed by its own handler (the window
        // closing); it is looked for before it is touched again.
        if (std::find(Timers.begin(), Timers.end(), t) != Timers.end()) {
            t->Firing = false;
        }
    }

    void RunLineEventsDueBy(qint64 until) {
        while (!Line.empty() && Line.begin()->first <= until) {
            auto first = Line.begin();
            Now = std::max(Now, first->first);
            std::function<void()> event = std::move(first->second);
            Line.erase(first);
            event();
        }
    }
    void AdvanceLine(qint64 until) {
        RunLineEventsDueBy(until);
        Now = std::max(Now, until);
    }

    // Serves one happening due by `until`, moving the clock to it; false when
    // there is none, and the clock then stands at `until`.
    bool Step(qint64 until) {
        if (ServePosted()) {
            return true;
        }
        for (;;) {
            if (!Line.empty() && Line.begin()->first <= Now) {
                RunLineEventsDueBy(Now);
                ServePosted();
                return true;
            }
            Timer* timer = NextTimer();
            if (timer != nullptr && timer->Due <= Now) {
                Fire(timer);
                ServePosted();
                return true;
            }
            qint64 next = timer != nullptr ? timer->Due : kNever;
            if (!Line.empty()) {
                next = std::min(next, Line.begin()->first);
            }
            if (next > until) {
                Now = std::max(Now, until);
                return false;
            }
            Now = std::max(Now, next);
        }
    }

    qint64 Now = 0;
    quint64 NextSeq = 0;
    std::vector<Timer*> Timers;
    std::vector<std::unique_ptr<Timer>> OneShots;
    std::multimap<qint64, std::function<void()>> Line;
    EventCounter Events;
};
