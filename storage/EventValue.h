#pragma once

// The byte image of one signal value, laid out as the signal's type says (see KTypeInfo).
//
// Most values are small (a std_logic is one byte, an integer four), so up to 8 bytes live inline
// and a copy is a plain 16-byte copy. Longer values (a 64-bit std_logic_vector is 64 bytes, a
// record may be hundreds) live in one immutable, reference-counted block: copying a value adds a
// reference, so event records, undo items and memory streams share the bytes instead of
// duplicating them. A value never changes after it is made; editing makes a new value.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

class EventValue {
public:
    static constexpr std::uint32_t kInlineSize = 8;

    EventValue() noexcept { m_storage.inlineBytes = 0; }
    EventValue(const void* bytes, std::uint32_t size);
    explicit EventValue(std::span<const std::uint8_t> bytes)
        : EventValue(bytes.data(), static_cast<std::uint32_t>(bytes.size())) {}

    // Inline: records are copied and moved by the ten thousand on every repaint.
    EventValue(const EventValue& other) noexcept
        : m_size(other.m_size), m_storage(other.m_storage) {
        if (isShared())
            m_storage.block->refs.fetch_add(1, std::memory_order_relaxed);
    }
    EventValue(EventValue&& other) noexcept : m_size(other.m_size), m_storage(other.m_storage) {
        other.m_size = 0;
        other.m_storage.inlineBytes = 0;
    }
    EventValue& operator=(const EventValue& other) noexcept;
    EventValue& operator=(EventValue&& other) noexcept {
        if (this != &other) {
            release();
            m_size = other.m_size;
            m_storage = other.m_storage;
            other.m_size = 0;
            other.m_storage.inlineBytes = 0;
        }
        return *this;
    }
    ~EventValue() { release(); }

    // The memory a value of `size` bytes holds besides itself (its block, 0 for inline values).
    static std::size_t blockBytes(std::uint32_t size);

    // A value of `size` zero bytes, ready to be filled through mutableData() before it is shared.
    static EventValue zeroed(std::uint32_t size);
    // Like EventValue(bytes, size), but the block comes straight from the allocator, not from
    // this thread's recycled ones: values made one after another then lie one after another in
    // memory, which is what a reader walking them in that order wants.
    static EventValue fresh(const void* bytes, std::uint32_t size);

    std::uint32_t size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // True when the bytes live in a shared block (longer than 8 bytes).
    bool isShared() const { return m_size > kInlineSize; }
    const std::uint8_t* data() const;
    std::span<const std::uint8_t> bytes() const { return {data(), m_size}; }
    // Writable bytes; only for a value nobody else holds yet (just made by zeroed()).
    std::uint8_t* mutableData();

    // The first 8 bytes as one integer (zero-padded), for fast comparisons of small values.
    std::uint64_t inlineWord() const;

    friend bool operator==(const EventValue& a, const EventValue& b);

private:
    struct Block {
        std::atomic<std::uint32_t> refs;
        std::uint8_t bytes[1];
    };
    static Block* allocateBlock(std::uint32_t size);
    void release() noexcept {
        if (isShared())
            dropBlock();
        m_size = 0;
        m_storage.inlineBytes = 0;
    }
    void dropBlock() noexcept;

    std::uint32_t m_size = 0;
    union Storage {
        std::uint64_t inlineBytes;
        std::uint8_t inlineArray[kInlineSize];
        Block* block;
    } m_storage;
};
