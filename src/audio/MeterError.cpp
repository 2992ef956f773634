#include "audio/MeterError.h"

MeterError::MeterError(std::string step, std::int32_t status)
    : m_step(std::move(step)), m_status(status),
      m_description(m_step + " failed, code " + std::to_string(status))
{}
