#pragma once

#include <cstdint>

// Decides whether a failed read on the open port means the device is gone.
//
// A read can fail on a healthy line: the port's read notification, raised
// while bytes were waiting, can run after the end-of-frame discard took them,
// and the read then finds nothing (the port reports it as a read or resource
// error, with whatever the last system error was). Such a failure is passed
// over. The port is closed when the line has hung up, its device node is gone,
// or reads keep failing with no byte in between: a vanished device fails every
// read at once, thousands of times a second, or keeps failing for seconds.
class ReadFailureJudge {
public:
    enum class Line { InOrder, HungUp, Gone };

    static constexpr int kFailuresOfADeadLine = 1000;
    static constexpr int kFailuresOverAStretch = 3;
    static constexpr int64_t kStretchMs = 2000;

    // A read failed at nowMs with the line as given; true when the port is to
    // be closed.
    bool Failed(Line line, int64_t nowMs) {
        if (Run == 0) {
            RunStartMs = nowMs;
        }
        ++Run;
        const bool dead = line != Line::InOrder || Run >= kFailuresOfADeadLine ||
                          (Run >= kFailuresOverAStretch && nowMs - RunStartMs >= kStretchMs);
        if (dead) {
            Run = 0;
        }
        return dead;
    }
    // Bytes came in: the line works, earlier failures no longer count.
    void BytesArrived() { Run = 0; }

private:
    int Run = 0;
    int64_t RunStartMs = 0;
};
