#pragma once

#include <filesystem>

// Points every LED module client created afterwards at `folder` (a FakeLedTree's root); empty
// goes back to /sys.
void pointLedModuleAt(const std::filesystem::path& folder);
// How long LED module clients created afterwards wait for logind; 0 is the module's default.
void setLedModuleLogindTimeout(unsigned milliseconds);
// While set, every brightness write of the LED module fails, as a busy device's does.
void refuseLedModuleWrites(bool refuse);
