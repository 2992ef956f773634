#include "audio/MeterError.h"

MeterError::MeterError(Step step, std::int32_t status, std::string reason)
    : MeterError(text(step), status, std::move(reason))
{}

MeterError::MeterError(std::string step, std::int32_t status, std::string reason)
    : m_step(std::move(step)), m_status(status),
      m_description(m_step + " failed, code " + std::to_string(status) +
                    (reason.empty() ? std::string() : ": " + reason))
{}

const char* MeterError::text(Step step)
{
    switch (step) {
    case Step::creatingTap:
        return "Connecting to the sound server";
    case Step::findingSpeakers:
        return "Finding the default output";
    case Step::readingSpeakerId:
        return "Reading the output's monitor";
    case Step::creatingListener:
        return "Creating listener";
    case Step::startingListener:
        return "Starting listener";
    case Step::startingAudio:
        return "Starting audio";
    case Step::listening:
        break;
    }
    return "Listening to audio";
}
