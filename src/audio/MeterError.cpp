#include "audio/MeterError.h"

MeterError::MeterError(Step step, std::int32_t status) : MeterError(text(step), status) {}

MeterError::MeterError(std::string step, std::int32_t status)
    : m_step(std::move(step)), m_status(status),
      m_description(m_step + " failed, code " + std::to_string(status))
{}

const char* MeterError::text(Step step)
{
    switch (step) {
    case Step::creatingTap:
        return "Creating audio tap";
    case Step::findingSpeakers:
        return "Finding speakers";
    case Step::readingSpeakerId:
        return "Reading speaker ID";
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
