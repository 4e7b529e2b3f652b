#pragma once

// What the end-to-end figures read from the running process: the monotonic
// clock (the same clock on both sides of a pseudo-terminal), CPU time of the
// process and of the calling thread, voluntary context switches, read calls,
// and the resident set.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

inline long long MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

inline double CpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// A value "Name: n" of a /proc file, or -1.
inline long long ProcValue(const char* path, const char* name) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) {
        return -1;
    }
    char line[256];
    long long value = -1;
    const size_t len = std::strlen(name);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, name, len) == 0 && line[len] == ':') {
            value = std::atoll(line + len + 1);
            break;
        }
    }
    std::fclose(f);
    return value;
}

inline long long RssKib() {
    return ProcValue("/proc/self/status", "VmRSS");
}

struct CpuSample {
    long long WallUs = 0;
    double ProcessMs = 0; // all threads, user and system
    double ThreadMs = 0;  // the calling thread
    long long ProcessVoluntarySwitches = 0;
    long long ThreadVoluntarySwitches = 0;
    long long ReadCalls = 0; // read system calls of the process

    double ProcessPercentSince(const CpuSample& start) const {
        return 100.0 * (ProcessMs - start.ProcessMs) / ((WallUs - start.WallUs) / 1000.0);
    }
    double ThreadPercentSince(const CpuSample& start) const {
        return 100.0 * (ThreadMs - start.ThreadMs) / ((WallUs - start.WallUs) / 1000.0);
    }
};

inline CpuSample SampleCpu() {
    CpuSample s;
    s.WallUs = MonotonicUs();
    s.ProcessMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    s.ThreadMs = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    s.ProcessVoluntarySwitches = self.ru_nvcsw;
    rusage thread{};
    getrusage(RUSAGE_THREAD, &thread);
    s.ThreadVoluntarySwitches = thread.ru_nvcsw;
    s.ReadCalls = ProcValue("/proc/self/io", "syscr");
    return s;
}
