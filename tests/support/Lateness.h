#pragma once

// How late a timer, a wait's return or a write after a wait may come in the
// wall-clock checks of these tests. A busy 2-core machine wakes threads up to
// about 120 ms late (seen at load 9 to 13); the faults the checks look for —
// a wait that runs on for a whole extra period, an outer wait restarted by an
// inner one, a write that waits for an unrelated event — are later than this.
// Lower bounds (nothing early) stay exact.
inline constexpr int kLateMs = 150;
