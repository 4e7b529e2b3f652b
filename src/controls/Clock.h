#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

// A timer of the window's clock: once started it calls its handler every
// period from the event pump, until stopped. Starting a running timer begins
// a fresh period.
class ClockTimer {
public:
    virtual ~ClockTimer() = default;
    virtual void Start(int periodMs) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    virtual int PeriodMs() const = 0; // the last period started
};

// The window's time: the monotonic clock its waits and step times read, the
// timers that poll and tick, and the pump a wait serves events with. The
// running checker uses Qt's timers and event loop (QtClock()); a test binds a
// clock of its own so that waits, timers and the unit's replies run in their
// order without real time passing.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 NowNs() const = 0;
    qint64 NowMs() const { return NowNs() / 1'000'000; }
    virtual std::unique_ptr<ClockTimer> NewTimer(std::function<void()> onTimeout) = 0;
    // Serves pending events; when there are none, sleeps until one comes or
    // maxMs have passed. Handlers may wait again inside it.
    virtual void ServeEvents(int maxMs) = 0;
    // A wait that ends makes any wait asleep around it look at its deadline.
    virtual void WakeWaits() = 0;
    // Holds the thread without serving events: the pause of a frame
    // collection, during which bytes still reach the port.
    virtual void Hold(int microseconds) = 0;
};

// Qt's clock, timers and event loop; one for the whole program.
Clock& QtClock();
