#include "storage/evstream/BlockWriterThread.h"

namespace evstream {

BlockWriterThread::BlockWriterThread(Work work, std::size_t inFlight) : m_work(std::move(work)) {
    for (std::size_t i = 0; i < std::max<std::size_t>(inFlight, 1); ++i)
        m_free.push_back(std::make_unique<BlockContent>());
    m_thread = std::thread([this] { run(); });
}

BlockWriterThread::~BlockWriterThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

bool BlockWriterThread::submit(BlockBuilder& builder) {
    std::unique_ptr<BlockContent> content;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_free.empty() || failed(); });
        if (failed())
            return false;
        content = std::move(m_free.back());
        m_free.pop_back();
    }
    // The builder is the caller's: taking the block needs no lock.
    builder.take(*content);
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(content));
    }
    m_changed.notify_all();
    return true;
}

bool BlockWriterThread::drain() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return (m_queue.empty() && !m_busy) || failed(); });
    return !failed();
}

void BlockWriterThread::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        std::unique_ptr<BlockContent> content = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        bool ok = false;
        if (!failed()) {
            try {
                ok = m_work(*content);
            } catch (...) {
                ok = false;
            }
        }
        lock.lock();
        if (!ok) {
            m_failed.store(true, std::memory_order_relaxed);
            m_queue.clear();
        }
        m_busy = false;
        m_free.push_back(std::move(content));
        m_changed.notify_all();
    }
}

} // namespace evstream
