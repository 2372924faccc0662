#include "storage/vcd/KVcdReadAhead.h"

#include <cstring>

KVcdReadAhead::KVcdReadAhead(Read read, Offset offset, std::size_t chunkSize, std::size_t gap,
                             std::size_t slack, std::size_t buffers)
    : m_read(std::move(read)), m_offset(std::move(offset)), m_chunkSize(chunkSize), m_gap(gap) {
    for (std::size_t i = 0; i < buffers; ++i) {
        // Not zeroed: pages are touched only as data come in.
        m_buffers.push_back(std::make_unique_for_overwrite<char[]>(gap + chunkSize + slack));
        m_free.push_back(static_cast<int>(i));
    }
    m_thread = std::thread([this] { run(); });
}

KVcdReadAhead::~KVcdReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void KVcdReadAhead::run() {
    for (;;) {
        int buffer = -1;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_free.empty(); });
            if (m_stopping)
                return;
            buffer = m_free.back();
            m_free.pop_back();
        }
        Filled filled;
        filled.chunk.buffer = buffer;
        filled.chunk.data = m_buffers[static_cast<std::size_t>(buffer)].get() + m_gap;
        try {
            // Whole chunks, so that the parser's costs per chunk stay rare on pipes and zlib too.
            while (filled.chunk.size < m_chunkSize) {
                std::size_t got =
                    m_read(filled.chunk.data + filled.chunk.size, m_chunkSize - filled.chunk.size);
                if (got == 0)
                    break;
                filled.chunk.size += got;
            }
            filled.chunk.offset = m_offset();
        } catch (...) {
            filled.error = std::current_exception();
        }
        bool last = filled.chunk.size == 0 || filled.error;
        {
            std::lock_guard lock(m_mutex);
            m_filled.push_back(std::move(filled));
            m_finished = last;
        }
        m_changed.notify_all();
        if (last)
            return;
    }
}

KVcdReadAhead::Chunk KVcdReadAhead::take() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_filled.empty() || m_finished; });
    if (m_filled.empty()) // past the end: the thread has stopped
        return {};
    if (m_filled.front().error)
        std::rethrow_exception(m_filled.front().error); // stays queued: later takes fail alike
    Filled filled = std::move(m_filled.front());
    m_filled.pop_front();
    if (filled.chunk.size == 0) {
        m_free.push_back(filled.chunk.buffer);
        return {};
    }
    return filled.chunk;
}

void KVcdReadAhead::give(const Chunk& chunk) {
    if (chunk.buffer < 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(chunk.buffer);
    }
    m_changed.notify_all();
}
