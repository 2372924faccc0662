#pragma once

// Reads a file ahead of its parser on a thread of its own, chunk by chunk.
//
// The thread spends most of its time in the kernel (the copy out of the page cache) or in
// zlib, work the parser's thread would otherwise do itself. Chunks are read into a small pool
// of buffers, so memory stays at a few chunks whatever the file's size; the caller holds one
// chunk at a time and gives it back once it has moved on to the next. Every buffer keeps a gap
// before its data, where the caller may put the unread end of the previous chunk (usually part
// of a line) so that the two are contiguous without copying the new chunk, and readable slack
// after it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class KVcdReadAhead {
public:
    // Reads up to `capacity` bytes into `into`; 0 at the end of the input; may throw.
    using Read = std::function<std::size_t(char* into, std::size_t capacity)>;
    // The position in the file after the last read (compressed bytes for a .gz file).
    using Offset = std::function<std::uint64_t()>;

    struct Chunk {
        char* data = nullptr;     // `gap` writable bytes before it, `slack` after its end
        std::size_t size = 0;     // 0 at the end of the input
        std::uint64_t offset = 0; // Offset() once the chunk was read
        int buffer = -1;
    };

    KVcdReadAhead(Read read, Offset offset, std::size_t chunkSize, std::size_t gap,
                  std::size_t slack, std::size_t buffers = 3);
    // Stops the thread (it finishes a read under way first).
    ~KVcdReadAhead();
    KVcdReadAhead(const KVcdReadAhead&) = delete;
    KVcdReadAhead& operator=(const KVcdReadAhead&) = delete;

    // The next chunk in file order, waiting for it if need be; rethrows what the read threw.
    // After the empty chunk at the end, it keeps returning empty chunks.
    Chunk take();
    // Hands a chunk's buffer back for reading into.
    void give(const Chunk& chunk);
    std::size_t gap() const { return m_gap; }

private:
    struct Filled {
        Chunk chunk;
        std::exception_ptr error;
    };
    void run();

    Read m_read;
    Offset m_offset;
    std::size_t m_chunkSize;
    std::size_t m_gap;
    std::vector<std::unique_ptr<char[]>> m_buffers;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_free;
    std::deque<Filled> m_filled;
    bool m_finished = false; // the thread has queued the end or a failure
    bool m_stopping = false;
    std::thread m_thread;
};
