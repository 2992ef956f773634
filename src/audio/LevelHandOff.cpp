#include "audio/LevelHandOff.h"

#include <QMetaObject>

LevelHandOff::LevelHandOff() : m_context(std::make_unique<QObject>()) {}

LevelHandOff::~LevelHandOff() = default;

AudioMeter::LevelCallback LevelHandOff::callback() const
{
    const SharedCallback current = m_callback.load();
    return current ? *current : AudioMeter::LevelCallback();
}

void LevelHandOff::setCallback(AudioMeter::LevelCallback callback)
{
    // An empty callback is stored as no callback, so the audio thread skips the copy entirely.
    m_callback.store(callback
                         ? std::make_shared<const AudioMeter::LevelCallback>(std::move(callback))
                         : SharedCallback());
}

void LevelHandOff::post(float bass, float previousAverage)
{
    // Posted even without a callback: one task per block is what the owner relies on, and the
    // cost is the same either way.
    QMetaObject::invokeMethod(
        m_context.get(),
        [callback = m_callback.load(), bass = static_cast<double>(bass),
         average = static_cast<double>(previousAverage)] {
            if (callback)
                (*callback)(bass, average);
        },
        Qt::QueuedConnection);
}
