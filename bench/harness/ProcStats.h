#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

// What the kernel says a process has cost so far: CPU time of all its threads, voluntary context
// switches (each one a wake-up after sleeping) per thread, and resident memory.
struct ProcSample {
    std::chrono::steady_clock::time_point at;
    double cpuSeconds = 0.0;
    // Per thread id: the kernel keeps these per thread; /proc/<pid>/status shows the main
    // thread's alone.
    std::map<pid_t, long long> voluntarySwitches;
    long long peakRssKb = 0;
    long long rssKb = 0;
};

// CPU share of one core and wake-ups per second between two samples of the same process.
struct ProcCost {
    double seconds = 0.0;
    double cpuShare = 0.0;
    double wakeupsPerSecond = 0.0;
    long long peakRssKb = 0;
};

class ProcStats {
public:
    // Reads /proc (or another root laid out like it); nothing if the process is gone.
    static std::optional<ProcSample> sample(pid_t pid, const std::string& procRoot = "/proc");

    // utime + stime in clock ticks from the text of /proc/<pid>/stat.
    static std::optional<long long> cpuTicks(std::string_view stat);
    // A numeric field of /proc/<pid>/status ("VmHWM", "voluntary_ctxt_switches"), first number
    // after the colon (kB for memory fields).
    static std::optional<long long> statusField(std::string_view status, std::string_view name);

    // Threads that started in between count from zero; threads that ended are lost.
    static ProcCost cost(const ProcSample& before, const ProcSample& after);
};
