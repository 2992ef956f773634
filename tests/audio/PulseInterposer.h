#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A look at the meter where it meets the PulseAudio client library, with no hook in the meter:
// this test program defines some of the library's functions, so the meter's calls reach these
// first, and they hand on to the library's own. Without a tap or a hold in place they
// only hand on.

// Records every chunk read from a record stream while it exists, and in step with them every
// request to cork (pause) or uncork one.
class ChunkTap {
public:
    struct Chunk {
        std::uint32_t frames;
        // The thread that read it.
        std::string thread;
    };
    struct Cork {
        // How many chunks had been read when it was asked for.
        std::size_t chunksBefore;
        bool corked;
        // Bytes the stream had received that were not read yet.
        std::size_t unread;
    };

    ChunkTap();
    ~ChunkTap();
    ChunkTap(const ChunkTap&) = delete;
    ChunkTap& operator=(const ChunkTap&) = delete;

    std::size_t count() const;
    std::vector<Chunk> chunks() const;
    std::vector<Cork> corks() const;
};

// While it exists, reads from a record stream find nothing, as if the reading thread had fallen
// behind, except while a listing of the server's playback streams is handing over its end: the
// moment the meter decides whether to pause. Until then the audio piles up in the stream.
class ReadsHeldBack {
public:
    ReadsHeldBack();
    ~ReadsHeldBack();
    ReadsHeldBack(const ReadsHeldBack&) = delete;
    ReadsHeldBack& operator=(const ReadsHeldBack&) = delete;
};

// Counts the connections to a server begun while it exists: the attempts of a meter that is
// reconnecting.
class ConnectionCount {
public:
    ConnectionCount();
    ~ConnectionCount();
    ConnectionCount(const ConnectionCount&) = delete;
    ConnectionCount& operator=(const ConnectionCount&) = delete;

    int count() const;
};
