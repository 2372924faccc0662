#pragma once

// The byte image of one signal value, laid out as the signal's type says (see KTypeInfo).
//
// Most values are small (a std_logic is one byte, an integer four), so up to 8 bytes live inline
// and a copy is a plain 16-byte copy. Longer values (a 64-bit std_logic_vector is 64 bytes, a
// record may be hundreds) live in one immutable, reference-counted block: copying a value adds a
// reference, so event records, undo items and memory streams share the bytes instead of
// duplicating them. A value never changes after it is made; editing makes a new value.
//
// A long value may also borrow bytes that something else keeps (a signal summary's value slots):
// a query then hands out thousands of them without touching a reference count. Whoever keeps
// borrowed values must keep their owner alive (see KEventsProvider::pin); an ordinary copy of a
// borrowed value takes the bytes into a block of its own, so copies taken away stay safe.

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
    EventValue(const EventValue& other) : m_size(other.m_size), m_storage(other.m_storage) {
        if (isShared()) {
            if (other.m_borrowed)
                own();
            else
                block()->refs.fetch_add(1, std::memory_order_relaxed);
        }
    }
    EventValue(EventValue&& other) noexcept
        : m_size(other.m_size), m_borrowed(other.m_borrowed), m_storage(other.m_storage) {
        other.m_size = 0;
        other.m_borrowed = false;
        other.m_storage.inlineBytes = 0;
    }
    EventValue& operator=(const EventValue& other);
    EventValue& operator=(EventValue&& other) noexcept {
        if (this != &other) {
            release();
            m_size = other.m_size;
            m_borrowed = other.m_borrowed;
            m_storage = other.m_storage;
            other.m_size = 0;
            other.m_borrowed = false;
            other.m_storage.inlineBytes = 0;
        }
        return *this;
    }
    ~EventValue() { release(); }

    // The memory a value of `size` bytes holds besides itself (its block, 0 for inline values).
    static std::size_t blockBytes(std::uint32_t size);

    // A value of `size` zero bytes, ready to be filled through mutableData() before it is shared.
    static EventValue zeroed(std::uint32_t size);
    // A value over `size` bytes it does not own (copied inline when they fit): they must outlive
    // it and every value keepBorrowing() makes of it.
    static EventValue borrow(const std::uint8_t* bytes, std::uint32_t size) {
        if (size <= kInlineSize)
            return EventValue(bytes, size);
        EventValue value;
        value.m_size = size;
        value.m_borrowed = true;
        value.m_storage.bytes = bytes;
        return value;
    }
    // A copy that goes on borrowing where this value borrows, instead of taking the bytes as its
    // own; for a holder that keeps the owner alive. Otherwise an ordinary copy.
    EventValue keepBorrowing() const { return EventValue(*this, KeepBorrowing{}); }

    std::uint32_t size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // True when the bytes live out of line (longer than 8 bytes), in a shared block or borrowed.
    bool isShared() const { return m_size > kInlineSize; }
    bool isBorrowed() const { return m_borrowed; }
    const std::uint8_t* data() const {
        return isShared() ? m_storage.bytes : m_storage.inlineArray;
    }
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
    struct KeepBorrowing {};
    EventValue(const EventValue& other, KeepBorrowing) noexcept
        : m_size(other.m_size), m_borrowed(other.m_borrowed), m_storage(other.m_storage) {
        if (isShared() && !m_borrowed)
            block()->refs.fetch_add(1, std::memory_order_relaxed);
    }
    // The bytes of a new block of one reference.
    static std::uint8_t* allocateBlock(std::uint32_t size);
    // The block of an owned long value: the bytes pointer is kept, so reads need no offset.
    Block* block() const {
        return reinterpret_cast<Block*>(const_cast<std::uint8_t*>(m_storage.bytes) -
                                        offsetof(Block, bytes));
    }
    // Takes borrowed bytes into a block of its own.
    void own();
    void release() noexcept {
        // Inline down to the decrement: most drops leave other holders.
        if (isShared() && !m_borrowed && block()->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            freeBlock();
        m_size = 0;
        m_borrowed = false;
        m_storage.inlineBytes = 0;
    }
    // Gives back the block of the last reference.
    void freeBlock() noexcept;

    std::uint32_t m_size = 0;
    bool m_borrowed = false;
    union Storage {
        std::uint64_t inlineBytes;
        std::uint8_t inlineArray[kInlineSize];
        const std::uint8_t* bytes; // a long value's: in its block, or borrowed
    } m_storage;
};
