#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Why a start of the audio capture failed: the set-up step and the sound server's status code
// (0 where a call succeeded but gave nothing usable).
class MeterError : public std::exception {
public:
    // The capture's set-up steps, in the order a start can reach them, and the loss of a capture
    // that was established (e.g. to a restarting server). Their texts live here alone.
    enum class Step {
        creatingTap,
        findingSpeakers,
        readingSpeakerId,
        creatingListener,
        startingListener,
        startingAudio,
        listening
    };

    // reason: the sound server's own words for the status, where it has any.
    MeterError(Step step, std::int32_t status, std::string reason = {});
    MeterError(std::string step, std::int32_t status, std::string reason = {});

    static const char* text(Step step);

    const std::string& step() const { return m_step; }
    std::int32_t status() const { return m_status; }
    // "<step> failed, code <status>", then ": <reason>" where there is one
    const std::string& errorDescription() const { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    std::string m_step;
    std::int32_t m_status;
    std::string m_description;
};
