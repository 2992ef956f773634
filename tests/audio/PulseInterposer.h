#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct pa_sink_info;

// A look at the meter where it meets the PulseAudio client library, with no hook in the meter:
// this test program defines two of the library's functions, pa_stream_peek and
// pa_context_get_sink_info_by_name, so the meter's calls reach these first, and they hand on to
// the library's own. Without a tap or an edit in place they only hand on.

// Records every chunk read from a record stream while it exists.
class ChunkTap {
public:
    struct Chunk {
        std::uint32_t frames;
        // The thread that read it.
        std::string thread;
    };

    ChunkTap();
    ~ChunkTap();
    ChunkTap(const ChunkTap&) = delete;
    ChunkTap& operator=(const ChunkTap&) = delete;

    std::size_t count() const;
    std::vector<Chunk> chunks() const;
};

// While it exists, every sink description read is edited before the reader sees it: shows the
// meter what no server at hand describes.
class SinkInfoEdit {
public:
    explicit SinkInfoEdit(std::function<void(pa_sink_info& sink)> edit);
    ~SinkInfoEdit();
    SinkInfoEdit(const SinkInfoEdit&) = delete;
    SinkInfoEdit& operator=(const SinkInfoEdit&) = delete;
};
