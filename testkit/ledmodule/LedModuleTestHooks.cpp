// The hooks of the LED module's test build: tests and the fuzzer load that build, never the
// installed one, which exports its lookup entry point alone.
#include "ledservice/ServiceClass.h"
#include "ledservice/SysfsWriter.h"

#include <chrono>

#define BW_EXPORT __attribute__((visibility("default")))

extern "C" {

// Look for LEDs under `folder` (laid out like /sys/class/leds) instead; NULL goes back to the
// real folder. Affects clients created afterwards.
BW_EXPORT void bw_leds_set_sysfs_root_for_testing(const char* folder)
{
    try {
        setModuleLedClassFolder(folder);
    } catch (...) {
    }
}

// How long clients created afterwards wait for logind; 0 restores the default. A test's mock
// logind on a loaded machine may need longer than a real one.
BW_EXPORT void bw_leds_set_logind_timeout_for_testing(unsigned milliseconds)
{
    setModuleLogindTimeout(std::chrono::milliseconds(milliseconds));
}

// While `refuse` is non-zero, every brightness write through sysfs fails.
BW_EXPORT void bw_leds_refuse_writes_for_testing(int refuse)
{
    SysfsWriter::refuseWrites(refuse != 0);
}
}
