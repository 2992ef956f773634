#include "PulseInterposer.h"

#include <dlfcn.h>
#include <list>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

namespace {

struct State {
    std::mutex mutex;
    std::optional<std::vector<ChunkTap::Chunk>> chunks;
    std::vector<ChunkTap::Cork> corks;
    bool holdReads = false;
    // Playback listings under way while reads are held; the library calls back per stream and
    // once more at the end of the list.
    struct PendingListing {
        pa_sink_input_info_cb_t callback;
        void* userdata;
    };
    std::list<PendingListing> pendingListings;
    std::optional<int> connections;
};

State& state()
{
    static State instance;
    return instance;
}

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Drops a callback under way once the library is done with it.
template <typename Pending> void forget(std::list<Pending>& pending, const Pending* done)
{
    const std::lock_guard lock(state().mutex);
    pending.remove_if([done](const Pending& entry) { return &entry == done; });
}

// Set on the thread that is handing the end of a listing to the reader.
thread_local bool listingEnds = false;

void heldListing(pa_context* context, const pa_sink_input_info* info, int eol, void* userdata)
{
    auto* listing = static_cast<State::PendingListing*>(userdata);
    listingEnds = eol != 0;
    listing->callback(context, info, eol, listing->userdata);
    listingEnds = false;
    if (eol != 0)
        forget(state().pendingListings, listing);
}

} // namespace

extern "C" int pa_stream_peek(pa_stream* stream, const void** data, size_t* bytes)
{
    using Peek = int (*)(pa_stream*, const void**, size_t*);
    static const auto peek = real<Peek>("pa_stream_peek");
    {
        const std::lock_guard lock(state().mutex);
        if (state().holdReads && !listingEnds) {
            // What the library says of a stream with nothing received.
            *data = nullptr;
            *bytes = 0;
            return 0;
        }
    }
    const int result = peek(stream, data, bytes);
    if (result < 0 || *bytes == 0)
        return result;
    const pa_sample_spec* format = pa_stream_get_sample_spec(stream);
    const std::size_t frameSize = format ? pa_frame_size(format) : 0;
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    const std::lock_guard lock(state().mutex);
    if (state().chunks && frameSize > 0)
        state().chunks->push_back({static_cast<std::uint32_t>(*bytes / frameSize), name});
    return result;
}

extern "C" pa_operation* pa_stream_cork(pa_stream* stream, int corked, pa_stream_success_cb_t done,
                                        void* userdata)
{
    using Cork = pa_operation* (*)(pa_stream*, int, pa_stream_success_cb_t, void*);
    static const auto cork = real<Cork>("pa_stream_cork");
    {
        const std::lock_guard lock(state().mutex);
        if (state().chunks) {
            const std::size_t unread = pa_stream_readable_size(stream);
            state().corks.push_back({state().chunks->size(), corked != 0,
                                     unread == static_cast<std::size_t>(-1) ? 0 : unread});
        }
    }
    return cork(stream, corked, done, userdata);
}

extern "C" pa_operation* pa_context_get_sink_input_info_list(pa_context* context,
                                                             pa_sink_input_info_cb_t callback,
                                                             void* userdata)
{
    using List = pa_operation* (*)(pa_context*, pa_sink_input_info_cb_t, void*);
    static const auto list = real<List>("pa_context_get_sink_input_info_list");
    State::PendingListing* listing = nullptr;
    {
        const std::lock_guard lock(state().mutex);
        if (state().holdReads && callback)
            listing =
                &state().pendingListings.emplace_back(State::PendingListing{callback, userdata});
    }
    if (!listing)
        return list(context, callback, userdata);
    pa_operation* operation = list(context, &heldListing, listing);
    if (!operation)
        forget(state().pendingListings, listing);
    return operation;
}

extern "C" int pa_context_connect(pa_context* context, const char* server, pa_context_flags_t flags,
                                  const pa_spawn_api* api)
{
    using Connect = int (*)(pa_context*, const char*, pa_context_flags_t, const pa_spawn_api*);
    static const auto connect = real<Connect>("pa_context_connect");
    {
        const std::lock_guard lock(state().mutex);
        if (state().connections)
            ++*state().connections;
    }
    return connect(context, server, flags, api);
}

ConnectionCount::ConnectionCount()
{
    const std::lock_guard lock(state().mutex);
    state().connections = 0;
}

ConnectionCount::~ConnectionCount()
{
    const std::lock_guard lock(state().mutex);
    state().connections.reset();
}

int ConnectionCount::count() const
{
    const std::lock_guard lock(state().mutex);
    return state().connections.value_or(0);
}

ChunkTap::ChunkTap()
{
    const std::lock_guard lock(state().mutex);
    state().chunks.emplace();
    state().corks.clear();
}

ChunkTap::~ChunkTap()
{
    const std::lock_guard lock(state().mutex);
    state().chunks.reset();
    state().corks.clear();
}

std::size_t ChunkTap::count() const
{
    const std::lock_guard lock(state().mutex);
    return state().chunks ? state().chunks->size() : 0;
}

std::vector<ChunkTap::Chunk> ChunkTap::chunks() const
{
    const std::lock_guard lock(state().mutex);
    return state().chunks.value_or(std::vector<Chunk>());
}

std::vector<ChunkTap::Cork> ChunkTap::corks() const
{
    const std::lock_guard lock(state().mutex);
    return state().corks;
}

ReadsHeldBack::ReadsHeldBack()
{
    const std::lock_guard lock(state().mutex);
    state().holdReads = true;
}

ReadsHeldBack::~ReadsHeldBack()
{
    const std::lock_guard lock(state().mutex);
    state().holdReads = false;
}
