#include "audio/AudioMeter.h"
#include "audio/PulseAudioMeter.h"

std::unique_ptr<AudioMeter> makeSystemAudioMeter()
{
    return std::make_unique<PulseAudioMeter>();
}
