#include "storage/vcd/KThreadedStreamWrite.h"

#include "storage/KFileException.h"

#include <cstring>

KThreadedStreamWrite::KThreadedStreamWrite(evstream::IEventsStreamWrite& target,
                                           std::size_t blockSize, std::size_t blocksInFlight)
    : m_target(target), m_blockSize(blockSize), m_blocksInFlight(blocksInFlight) {
    m_block.reserve(m_blockSize);
    m_worker = std::thread([this] { run(); });
}

KThreadedStreamWrite::~KThreadedStreamWrite() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    m_worker.join();
}

void KThreadedStreamWrite::reserve(std::size_t size) {
    if (m_block.size() + size > m_blockSize && !m_block.empty())
        handOver();
}

bool KThreadedStreamWrite::SetTime(const SimTime& time) {
    reserve(1 + sizeof time);
    m_block.push_back(OpTime);
    append(&time, sizeof time);
    m_time = time;
    m_delta = 0;
    return true;
}

bool KThreadedStreamWrite::SetDelta(DeltaCycle delta) {
    reserve(1 + sizeof delta);
    m_block.push_back(OpDelta);
    append(&delta, sizeof delta);
    m_delta = delta;
    return true;
}

bool KThreadedStreamWrite::WriteValue(SignalHandle handle, const void* value, std::uint32_t size) {
    reserve(1 + sizeof handle + sizeof size + size);
    m_block.push_back(OpValue);
    append(&handle, sizeof handle);
    append(&size, sizeof size);
    append(value, size);
    return true;
}

void KThreadedStreamWrite::handOver() {
    std::vector<std::uint8_t> next;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_queue.size() < m_blocksInFlight || m_failure; });
        if (m_failure)
            std::rethrow_exception(m_failure);
        m_queue.push_back(std::move(m_block));
        if (!m_spare.empty()) {
            next = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    m_changed.notify_all();
    next.clear();
    next.reserve(m_blockSize);
    m_block = std::move(next);
}

void KThreadedStreamWrite::finish() {
    if (!m_block.empty())
        handOver();
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return (m_queue.empty() && !m_busy) || m_failure; });
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void KThreadedStreamWrite::run() {
    for (;;) {
        std::vector<std::uint8_t> block;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            block = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        m_changed.notify_all();
        try {
            replay(block);
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
        }
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
            m_spare.push_back(std::move(block));
        }
        m_changed.notify_all();
        std::lock_guard lock(m_mutex);
        if (m_failure)
            return;
    }
}

void KThreadedStreamWrite::replay(const std::vector<std::uint8_t>& block) {
    const std::uint8_t* p = block.data();
    const std::uint8_t* end = p + block.size();
    auto fail = [&](const char* call) {
        throw KFileException::generic(m_target.GetFileName(),
                                      std::string("writing failed (") + call + ")");
    };
    while (p < end) {
        std::uint8_t op = *p++;
        if (op == OpTime) {
            SimTime time = 0;
            std::memcpy(&time, p, sizeof time);
            p += sizeof time;
            if (!m_target.SetTime(time))
                fail("SetTime");
        } else if (op == OpDelta) {
            DeltaCycle delta = 0;
            std::memcpy(&delta, p, sizeof delta);
            p += sizeof delta;
            if (!m_target.SetDelta(delta))
                fail("SetDelta");
        } else {
            SignalHandle handle = 0;
            std::uint32_t size = 0;
            std::memcpy(&handle, p, sizeof handle);
            std::memcpy(&size, p + sizeof handle, sizeof size);
            p += sizeof handle + sizeof size;
            if (!m_target.WriteValue(handle, p, size))
                fail("WriteValue");
            p += size;
        }
    }
}
