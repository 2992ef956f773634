#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Reads Google Benchmark's JSON output: per benchmark its name, its time per iteration in
// nanoseconds and its user counters.
class MicroBenchmarks {
public:
    struct Entry {
        std::string name;
        double nanoseconds = 0.0;
        std::map<std::string, double> counters;
    };

    // Nothing when the text is not a benchmark report.
    static std::optional<std::vector<Entry>> parse(const std::string& json);
    static const Entry* find(const std::vector<Entry>& entries, const std::string& name);
};
