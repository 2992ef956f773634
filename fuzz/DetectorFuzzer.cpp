// Any buffer shape and any samples, NaN and infinities included: the detector must not crash
// or read past the buffer, and what it reports must never make the controller write a table
// that is not finite.
#include "audio/BassDetector.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fuzz/FuzzApplication.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ensureFuzzApplication();
    static ControllerRig rig;
    static std::unique_ptr<LogoController> logo = [] {
        auto controller = rig.make();
        controller->setMode(LightMode::music);
        return controller;
    }();
    if (size < 9)
        return 0;

    std::uint32_t channels = 0;
    std::memcpy(&channels, data, 4);
    float rate = 0;
    std::memcpy(&rate, data + 4, 4);
    const bool withData = data[8] & 1;
    // The samples are copied so the buffer is aligned as the capture's is, and its declared
    // size never exceeds what is really there: that much is the caller's promise.
    std::vector<float> samples((size - 9) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), data + 9, samples.size() * sizeof(float));
    const auto declared = static_cast<std::uint32_t>(std::min<std::size_t>(
        samples.size() * sizeof(float) + (data[8] >> 1) % 4, samples.size() * sizeof(float)));

    BassDetector detector;
    detector.setUpFilter(std::isfinite(rate) && rate > 0 ? rate : 48000.0f);
    const AudioBuffer buffer{channels, declared, withData ? samples.data() : nullptr};
    for (int block = 0; block < 3; ++block) {
        const auto level = detector.process({&buffer, 1});
        if (!level)
            continue;
        rig.clock.advance(std::chrono::milliseconds(200));
        rig.meter->deliver(level->bass, level->previousAverage);
        rig.ticker->tick();
    }
    requireFiniteTables(rig.service);
    rig.service.reset();
    return 0;
}
