#pragma once

#include "serviceabi/ServiceContract.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads the log of the recording service module: one line "<monotonic ns> <key> <value>" per
// write. Table writes are turned into levels by comparing their first row with the factory's.
class WriteLog {
public:
    struct TableWrite {
        std::int64_t ns;
        double level;
    };

    static constexpr const char* tableKey = ServiceContract::tableKey;
    static constexpr const char* tauKey = ServiceContract::followTauKey;

    // factorySecond: the second number of the factory table's first row.
    static std::vector<TableWrite> tableWrites(std::string_view text, double factorySecond);
    static std::vector<TableWrite> readTableWrites(const std::string& path, double factorySecond);
    // Whether any line writes the key.
    static bool hasKey(std::string_view text, std::string_view key);
    static std::string readAll(const std::string& path);

    // Moments of table writes above the floor level, i.e. beat flashes, in [fromNs, untilNs).
    static std::vector<std::int64_t> flashes(const std::vector<TableWrite>& writes,
                                             double floorLevel, std::int64_t fromNs,
                                             std::int64_t untilNs);
};
