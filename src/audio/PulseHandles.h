#pragma once

#include <memory>
#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/stream.h>

// Ownership of the client library's objects, written once for the whole capture. Each handle
// silences the callbacks it installed before letting its object go, so no callback of ours can
// reach an owner that is tearing down. Handles are used with the loop's lock held.

struct ContextRelease {
    void operator()(pa_context* context) const noexcept;
};
using ContextHandle = std::unique_ptr<pa_context, ContextRelease>;

struct StreamRelease {
    void operator()(pa_stream* stream) const noexcept;
};
using StreamHandle = std::unique_ptr<pa_stream, StreamRelease>;

// For a request whose answer comes through its callback: nothing waits on the operation, so its
// reference goes at once. Whether the library took the request.
inline bool requested(pa_operation* operation) noexcept
{
    if (!operation)
        return false;
    pa_operation_unref(operation);
    return true;
}

// The client library is C: nothing may unwind through it. Every entry point from it runs its work
// through this, so an exception (an allocation failure while posting, say) drops that one call's
// work instead of ending the process.
template <typename Work> void guarded(Work&& work) noexcept
{
    try {
        work();
    } catch (...) {
    }
}
