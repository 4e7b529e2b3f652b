// The window's time on Qt: precise timers, the event loop and the monotonic
// clock.
#include "controls/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

class QtTimer : public ClockTimer {
public:
    explicit QtTimer(std::function<void()> onTimeout) {
        Timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&Timer, &QTimer::timeout, std::move(onTimeout));
    }
    void Start(int periodMs) override { Timer.start(periodMs); }
    void Stop() override { Timer.stop(); }
    bool IsActive() const override { return Timer.isActive(); }
    int PeriodMs() const override { return Timer.interval(); }

private:
    QTimer Timer;
};

class EventLoopClock : public Clock {
public:
    EventLoopClock() { Since.start(); }
    qint64 NowNs() const override { return Since.nsecsElapsed(); }
    std::unique_ptr<ClockTimer> NewTimer(std::function<void()> onTimeout) override {
        return std::make_unique<QtTimer>(std::move(onTimeout));
    }
    void ServeEvents(int maxMs) override {
        // The wake-up timer bounds the sleep; it stays armed while handlers
        // run inside this call and only makes an inner wait look once more.
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(std::max(1, maxMs));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void WakeWaits() override {
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
            dispatcher->wakeUp();
        }
    }
    void Hold(int microseconds) override {
        QThread::usleep(static_cast<unsigned long>(microseconds));
    }

private:
    QElapsedTimer Since;
};

} // namespace

Clock& QtClock() {
    static EventLoopClock clock;
    return clock;
}
