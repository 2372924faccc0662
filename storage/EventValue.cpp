#include "storage/EventValue.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

EventValue::Block* EventValue::allocateBlock(std::uint32_t size) {
    void* memory = std::malloc(offsetof(Block, bytes) + size);
    if (memory == nullptr)
        throw std::bad_alloc();
    Block* block = static_cast<Block*>(memory);
    new (&block->refs) std::atomic<std::uint32_t>(1);
    return block;
}

EventValue::EventValue(const void* bytes, std::uint32_t size) : m_size(size) {
    m_storage.inlineBytes = 0;
    if (size <= kInlineSize) {
        if (size != 0)
            std::memcpy(m_storage.inlineArray, bytes, size);
        return;
    }
    m_storage.block = allocateBlock(size);
    std::memcpy(m_storage.block->bytes, bytes, size);
}

EventValue EventValue::zeroed(std::uint32_t size) {
    EventValue value;
    value.m_size = size;
    if (size > kInlineSize) {
        value.m_storage.block = allocateBlock(size);
        std::memset(value.m_storage.block->bytes, 0, size);
    }
    return value;
}

EventValue::EventValue(const EventValue& other) noexcept
    : m_size(other.m_size), m_storage(other.m_storage) {
    if (isShared())
        m_storage.block->refs.fetch_add(1, std::memory_order_relaxed);
}

EventValue::EventValue(EventValue&& other) noexcept
    : m_size(other.m_size), m_storage(other.m_storage) {
    other.m_size = 0;
    other.m_storage.inlineBytes = 0;
}

EventValue& EventValue::operator=(const EventValue& other) noexcept {
    if (this != &other) {
        EventValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

EventValue& EventValue::operator=(EventValue&& other) noexcept {
    if (this != &other) {
        release();
        m_size = other.m_size;
        m_storage = other.m_storage;
        other.m_size = 0;
        other.m_storage.inlineBytes = 0;
    }
    return *this;
}

EventValue::~EventValue() {
    release();
}

void EventValue::release() noexcept {
    if (isShared() && m_storage.block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_storage.block->refs.~atomic();
        std::free(m_storage.block);
    }
    m_size = 0;
    m_storage.inlineBytes = 0;
}

const std::uint8_t* EventValue::data() const {
    return isShared() ? m_storage.block->bytes : m_storage.inlineArray;
}

std::uint8_t* EventValue::mutableData() {
    if (!isShared())
        return m_storage.inlineArray;
    assert(m_storage.block->refs.load() == 1 && "mutating a shared value");
    return m_storage.block->bytes;
}

std::uint64_t EventValue::inlineWord() const {
    if (!isShared())
        return m_storage.inlineBytes;
    std::uint64_t word;
    std::memcpy(&word, m_storage.block->bytes, sizeof word);
    return word;
}

bool operator==(const EventValue& a, const EventValue& b) {
    if (a.m_size != b.m_size)
        return false;
    if (!a.isShared())
        return a.m_storage.inlineBytes == b.m_storage.inlineBytes;
    return a.m_storage.block == b.m_storage.block ||
           std::memcmp(a.m_storage.block->bytes, b.m_storage.block->bytes, a.m_size) == 0;
}
