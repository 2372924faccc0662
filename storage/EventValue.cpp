#include "storage/EventValue.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Blocks of short values are recycled per thread: a screen of bus rows makes and drops
// tens of thousands of them, and the allocator's bookkeeping would cost more than the copies.
// Blocks come in four sizes (32 to 256 bytes, the count included); each thread keeps up to 4 MiB
// of each size (a zoomed-out screen's worth, so that a repaint takes back what the last one
// dropped), and a block may be freed on another thread than the one that made it.
constexpr int kBlockClasses = 4;
constexpr std::size_t kKeptBytesPerClass = 4 * 1024 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so that it may still be used (as a plain malloc) after the thread's
// drain below has run: values held by static objects die after thread-local destructors.
struct BlockPool {
    FreeBlock* heads[kBlockClasses];
    std::size_t counts[kBlockClasses];
    bool drained;
};

thread_local BlockPool t_pool{};

struct PoolDrain {
    ~PoolDrain() {
        for (int c = 0; c < kBlockClasses; ++c) {
            while (FreeBlock* block = t_pool.heads[c]) {
                t_pool.heads[c] = block->next;
                std::free(block);
            }
            t_pool.counts[c] = 0;
        }
        t_pool.drained = true;
    }
};

thread_local PoolDrain t_drain;

constexpr std::size_t kClassBytes[kBlockClasses] = {32, 64, 128, 256};

int blockClass(std::size_t bytes) {
    if (bytes <= 32)
        return 0;
    if (bytes <= 64)
        return 1;
    if (bytes <= 128)
        return 2;
    return bytes <= 256 ? 3 : -1;
}

void* takeBlock(std::size_t bytes) {
    const int c = blockClass(bytes);
    if (c < 0)
        return std::malloc(bytes);
    if (FreeBlock* block = t_pool.heads[c]) {
        t_pool.heads[c] = block->next;
        --t_pool.counts[c];
        return block;
    }
    (void)&t_drain; // makes the thread drain its pool when it ends
    return std::malloc(kClassBytes[c]);
}

void giveBlock(void* memory, std::size_t bytes) {
    const int c = blockClass(bytes);
    if (c < 0 || t_pool.drained || t_pool.counts[c] >= kKeptBytesPerClass / kClassBytes[c]) {
        std::free(memory);
        return;
    }
    (void)&t_drain; // a thread that only frees blocks made elsewhere must drain them too
    auto* block = static_cast<FreeBlock*>(memory);
    block->next = t_pool.heads[c];
    t_pool.heads[c] = block;
    ++t_pool.counts[c];
}

} // namespace

std::uint8_t* EventValue::allocateBlock(std::uint32_t size) {
    void* memory = takeBlock(offsetof(Block, bytes) + size);
    if (memory == nullptr)
        throw std::bad_alloc();
    Block* block = static_cast<Block*>(memory);
    new (&block->refs) std::atomic<std::uint32_t>(1);
    return block->bytes;
}

EventValue::EventValue(const void* bytes, std::uint32_t size) : m_size(size) {
    m_storage.inlineBytes = 0;
    if (size <= kInlineSize) {
        if (size != 0)
            std::memcpy(m_storage.inlineArray, bytes, size);
        return;
    }
    std::uint8_t* own = allocateBlock(size);
    std::memcpy(own, bytes, size);
    m_storage.bytes = own;
}

std::size_t EventValue::blockBytes(std::uint32_t size) {
    if (size <= kInlineSize)
        return 0;
    const std::size_t bytes = offsetof(Block, bytes) + size;
    const int c = blockClass(bytes);
    return c < 0 ? bytes : kClassBytes[c];
}

void EventValue::own() {
    std::uint8_t* bytes = allocateBlock(m_size);
    std::memcpy(bytes, m_storage.bytes, m_size);
    m_storage.bytes = bytes;
    m_borrowed = false;
}

EventValue EventValue::zeroed(std::uint32_t size) {
    EventValue value;
    value.m_size = size;
    if (size > kInlineSize) {
        std::uint8_t* bytes = allocateBlock(size);
        std::memset(bytes, 0, size);
        value.m_storage.bytes = bytes;
    }
    return value;
}

EventValue& EventValue::operator=(const EventValue& other) {
    if (this != &other) {
        EventValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void EventValue::freeBlock() noexcept {
    Block* shared = block();
    shared->refs.~atomic();
    giveBlock(shared, offsetof(Block, bytes) + m_size);
}

std::uint8_t* EventValue::mutableData() {
    if (!isShared())
        return m_storage.inlineArray;
    assert(!m_borrowed && block()->refs.load() == 1 && "mutating a shared value");
    return block()->bytes;
}

std::uint64_t EventValue::inlineWord() const {
    if (!isShared())
        return m_storage.inlineBytes;
    std::uint64_t word;
    std::memcpy(&word, m_storage.bytes, sizeof word);
    return word;
}

bool operator==(const EventValue& a, const EventValue& b) {
    if (a.m_size != b.m_size)
        return false;
    if (!a.isShared())
        return a.m_storage.inlineBytes == b.m_storage.inlineBytes;
    return a.m_storage.bytes == b.m_storage.bytes ||
           std::memcmp(a.m_storage.bytes, b.m_storage.bytes, a.m_size) == 0;
}
