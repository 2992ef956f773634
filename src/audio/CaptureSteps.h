#pragma once

// The texts of the capture's set-up steps, in the order a start can reach them; a failed start
// names the step it failed at.
namespace capture_step {

inline constexpr const char* creatingTap = "Creating audio tap";
inline constexpr const char* findingSpeakers = "Finding speakers";
inline constexpr const char* readingSpeakerId = "Reading speaker ID";
inline constexpr const char* creatingListener = "Creating listener";
inline constexpr const char* startingListener = "Starting listener";
inline constexpr const char* startingAudio = "Starting audio";
// Describes a capture that was established and then lost, e.g. to a restarting server.
inline constexpr const char* listening = "Listening to audio";

} // namespace capture_step
