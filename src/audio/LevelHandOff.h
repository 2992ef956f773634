#pragma once

#include "audio/AudioMeter.h"
#include "audio/Generation.h"

#include <QMetaObject>
#include <QObject>
#include <memory>
#include <mutex>

// Carries each block's result from the audio thread to the owner's level callback on the main
// thread: one queued task per block, in block order. The callback may be replaced from the main
// thread while the audio thread posts; each task keeps the callback that was current when its
// block was measured. Tasks still queued when the hand-off is destroyed are dropped.
class LevelHandOff {
public:
    // Must be constructed on the thread whose event loop runs the callbacks.
    LevelHandOff();
    ~LevelHandOff();

    LevelHandOff(const LevelHandOff&) = delete;
    LevelHandOff& operator=(const LevelHandOff&) = delete;

    void setCallback(AudioMeter::LevelCallback callback);

    // Main thread: a run of the meter begins; from now on, whatever is posted for any other run is
    // dropped when it arrives.
    Generation::Ticket beginRun() { return m_runs.begin(); }
    // Main thread: the run ends, and what it posted that is still queued is dropped.
    void endRun() noexcept { m_runs.end(); }
    // Main thread: whether what was posted for that run is still wanted.
    bool current(Generation::Ticket run) const { return m_runs.current(run); }
    // Any thread. Widens both values to double for the callback.
    void post(float bass, float previousAverage, Generation::Ticket run = Generation::none);

    // Any thread: runs the task later on the main thread, unless the hand-off is gone by then.
    template <typename Task> void postTask(Task task)
    {
#if defined(__SANITIZE_THREAD__)
        // Qt's event queue orders the post before the task, but inside a library the thread
        // sanitizer cannot see into; this mutex makes the same ordering visible to it.
        // It is reached without reading the task's captures, which are what it orders.
        const std::lock_guard visible(sanitizerOrder());
        QMetaObject::invokeMethod(
            m_context.get(),
            [task = std::move(task)]() mutable {
                {
                    const std::lock_guard seen(sanitizerOrder());
                }
                task();
            },
            Qt::QueuedConnection);
#else
        QMetaObject::invokeMethod(m_context.get(), std::move(task), Qt::QueuedConnection);
#endif
    }

private:
    using SharedCallback = std::shared_ptr<const AudioMeter::LevelCallback>;

    SharedCallback current() const;

    std::unique_ptr<QObject> m_context;
    // Held only to copy or swap the pointer, never while a callback runs. (The standard
    // library's atomic shared_ptr would do, but this one's is opaque to the thread sanitizer.)
    mutable std::mutex m_mutex;
    SharedCallback m_callback;
    // Main thread only.
    Generation m_runs;
#if defined(__SANITIZE_THREAD__)
    static std::mutex& sanitizerOrder()
    {
        static std::mutex order;
        return order;
    }
#endif
};
