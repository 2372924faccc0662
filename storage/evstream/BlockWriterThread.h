#pragma once

// A worker thread that encodes, compresses, checksums and writes finished blocks while the caller
// fills the next one.
//
// The caller hands over a block with submit(), which moves the builder's events into one of a
// small pool of BlockContent objects: at most `inFlight` blocks wait or are being encoded, so
// memory stays bounded by a few blocks, and submit() waits when the worker falls behind. Blocks
// are processed one at a time in submission order by `work`, which therefore writes the file in
// the same order as the caller would have. A failure of `work` (false or an exception) makes
// failed() true; later blocks are dropped. drain() waits until every submitted block is done, so
// the caller may touch the file itself afterwards.

#include "storage/evstream/BlockBuilder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace evstream {

class BlockWriterThread {
public:
    using Work = std::function<bool(const BlockContent& content)>;

    explicit BlockWriterThread(Work work, std::size_t inFlight = 2);
    // Stops the worker; blocks not yet processed are dropped (drain() first to keep them).
    ~BlockWriterThread();
    BlockWriterThread(const BlockWriterThread&) = delete;
    BlockWriterThread& operator=(const BlockWriterThread&) = delete;

    // Takes the builder's block for the worker; false when the worker has failed.
    bool submit(BlockBuilder& builder);
    // Waits until every submitted block is processed; false when any failed.
    bool drain();
    bool failed() const { return m_failed.load(std::memory_order_relaxed); }

private:
    void run();

    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<BlockContent>> m_free;
    std::deque<std::unique_ptr<BlockContent>> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::atomic<bool> m_failed = false;
    std::thread m_thread;
};

} // namespace evstream
