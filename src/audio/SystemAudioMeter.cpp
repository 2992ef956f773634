#include "audio/AudioMeter.h"

namespace {

// Until the capture from the sound server exists, Music mode runs its timer and beat handling
// on whatever levels are delivered, and this meter delivers none.
class UnconnectedAudioMeter final : public AudioMeter {
public:
    LevelCallback onLevel() const override { return m_onLevel; }
    void setOnLevel(LevelCallback callback) override { m_onLevel = std::move(callback); }
    void setOnInterruption(InterruptionCallback) override {}
    void start() override { m_running = true; }
    void stop() noexcept override { m_running = false; }
    bool isRunning() const override { return m_running; }

private:
    LevelCallback m_onLevel;
    bool m_running = false;
};

} // namespace

std::unique_ptr<AudioMeter> makeSystemAudioMeter()
{
    return std::make_unique<UnconnectedAudioMeter>();
}
