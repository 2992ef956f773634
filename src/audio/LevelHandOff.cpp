#include "audio/LevelHandOff.h"

LevelHandOff::LevelHandOff() : m_context(std::make_unique<QObject>()) {}

LevelHandOff::~LevelHandOff() = default;

LevelHandOff::SharedCallback LevelHandOff::current() const
{
    const std::lock_guard lock(m_mutex);
    return m_callback;
}

void LevelHandOff::setCallback(AudioMeter::LevelCallback callback)
{
    // An empty callback is stored as no callback, so the audio thread skips the copy entirely.
    SharedCallback replacement =
        callback ? std::make_shared<const AudioMeter::LevelCallback>(std::move(callback))
                 : SharedCallback();
    {
        const std::lock_guard lock(m_mutex);
        m_callback.swap(replacement);
    }
    // The previous callback, now in `replacement`, is released here, outside the lock.
}

void LevelHandOff::post(float bass, float previousAverage, Generation::Ticket run)
{
    // Posted even without a callback: one task per block is what the owner relies on, and the
    // cost is the same either way. The task runs only while the hand-off exists (its context is
    // the hand-off's own), so it may read the run on the main thread.
    postTask([this, run, callback = current(), bass = static_cast<double>(bass),
              average = static_cast<double>(previousAverage)] {
        if (callback && m_runs.current(run))
            (*callback)(bass, average);
    });
}
