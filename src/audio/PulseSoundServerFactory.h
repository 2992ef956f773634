#pragma once

#include "audio/SoundServer.h"

#include <memory>
#include <string>

// The program's sound server, through the PulseAudio client library, for the parts above the seam
// that must not see the library's headers: on `address` (empty for the user's own), its loop's
// thread named `threadName`.
std::shared_ptr<SoundServer> makePulseSoundServer(std::string address, std::string threadName);
