#pragma once

#include "serviceabi/service_abi.h"

#include <chrono>

// What clients of the module created from now on start from. The installed module never changes
// either: it drives /sys/class/leds and gives logind its default time. Its test build does,
// through exported hooks of its own, so that tests can point it at a fake LED tree and give a
// mock logind on a loaded machine longer, without the installed module carrying that surface.

// Where to look for LEDs, laid out like /sys/class/leds; NULL goes back to the real folder.
void setModuleLedClassFolder(const char* folder);
// How long to wait for logind; zero or less restores the default.
void setModuleLogindTimeout(std::chrono::milliseconds timeout);

// The module's client type over clients that `create` makes, each a LedClient: what the module
// exports over /sys/class/leds, and what a test builds over LEDs of its own in its own process.
bw_service_class ledServiceClass(void* (*create)());
