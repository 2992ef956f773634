#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// What the kernel says a process has cost so far: CPU time of all its threads, voluntary context
// switches (each one a wake-up after sleeping) per thread, and resident memory.
struct ProcSample {
    struct Thread {
        std::string name;
        // Nanoseconds on a CPU, from /proc/<pid>/task/<tid>/schedstat.
        long long cpuNs = 0;
        long long voluntarySwitches = 0;
    };

    std::chrono::steady_clock::time_point at;
    // The whole process, threads that have ended included.
    double cpuSeconds = 0.0;
    // Per thread id: the kernel counts switches per thread; /proc/<pid>/status shows the main
    // thread's alone.
    std::map<pid_t, Thread> threads;
    long long peakRssKb = 0;
    long long rssKb = 0;
};

// CPU share of one core and wake-ups per second between two samples of the same process.
struct ProcCost {
    struct Thread {
        std::string name;
        double cpuShare = 0.0;
        double wakeupsPerSecond = 0.0;
    };

    double seconds = 0.0;
    double cpuShare = 0.0;
    double wakeupsPerSecond = 0.0;
    long long peakRssKb = 0;
    // Threads alive at the end, busiest first.
    std::vector<Thread> threads;
};

class ProcStats {
public:
    // Reads /proc (or another root laid out like it); nothing if the process is gone. The
    // process's CPU time comes from its CPU-time clock, to the nanosecond, when the root is
    // /proc and the clock is readable; otherwise from the stat file's clock ticks (10 ms each).
    static std::optional<ProcSample> sample(pid_t pid, const std::string& procRoot = "/proc");

    // utime + stime in clock ticks from the text of /proc/<pid>/stat.
    static std::optional<long long> cpuTicks(std::string_view stat);
    // A numeric field of /proc/<pid>/status ("VmHWM", "voluntary_ctxt_switches"), first number
    // after the colon (kB for memory fields).
    static std::optional<long long> statusField(std::string_view status, std::string_view name);

    // The first number of /proc/<pid>/task/<tid>/schedstat: nanoseconds spent on a CPU.
    static std::optional<long long> schedstatNs(std::string_view schedstat);

    // Threads that started in between count from zero; threads that ended are lost.
    static ProcCost cost(const ProcSample& before, const ProcSample& after);
};
