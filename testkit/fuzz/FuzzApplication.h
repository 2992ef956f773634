#pragma once

#include "testkit/fakes/FakeService.h"
#include "testkit/fuzz/FuzzChecks.h"

#include <QCoreApplication>
#include <cmath>

// The one application object a fuzzer process needs for Qt's timers and files.
inline void ensureFuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzzer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Every table the controller wrote is a table of finite numbers.
inline void requireFiniteTables(const FakeService& service)
{
    for (const auto& table : service.writesOf(FakeService::tableKey)) {
        const auto rows = table.asTable();
        require(rows.has_value());
        for (const auto& row : *rows) {
            for (double n : row)
                require(std::isfinite(n));
        }
    }
}
