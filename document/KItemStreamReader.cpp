#include "document/KItemStreamReader.h"

#include <algorithm>

namespace {

std::string_view itemName(std::uint8_t tag) {
    switch (static_cast<KItemStream::Item>(tag)) {
    case KItemStream::Item::Text:
        return "a text";
    case KItemStream::Item::Integer:
        return "an integer";
    case KItemStream::Item::Integer64:
        return "a 64-bit integer";
    case KItemStream::Item::Character:
        return "a character";
    case KItemStream::Item::End:
        return "an end mark";
    }
    return "an unknown item";
}

} // namespace

KItemStreamReader::KItemStreamReader(std::span<const std::uint8_t> block) : m_block(block) {
    if (block.size() < sizeof KItemStream::kMagic ||
        !std::equal(std::begin(KItemStream::kMagic), std::end(KItemStream::kMagic), block.begin()))
        fail("the data is not an item stream");
    else
        m_offset = sizeof KItemStream::kMagic;
}

bool KItemStreamReader::fail(std::string_view message) {
    if (ok())
        m_error = std::string(message) + " (at byte " + std::to_string(m_offset) + ")";
    return false;
}

std::optional<KItemStream::Item> KItemStreamReader::peek() const {
    if (!ok() || m_offset >= m_block.size())
        return std::nullopt;
    return static_cast<KItemStream::Item>(m_block[m_offset]);
}

bool KItemStreamReader::take(KItemStream::Item item, std::size_t payload) {
    if (!ok())
        return false;
    const std::uint8_t wanted = static_cast<std::uint8_t>(item);
    if (m_offset >= m_block.size())
        return fail("the data ends where " + std::string(itemName(wanted)) + " was expected");
    if (m_block[m_offset] != wanted)
        return fail("expected " + std::string(itemName(wanted)) + ", found " +
                    std::string(itemName(m_block[m_offset])));
    if (remaining() - 1 < payload)
        return fail("the data ends inside " + std::string(itemName(wanted)));
    ++m_offset;
    return true;
}

std::uint64_t KItemStreamReader::little(int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(m_block[m_offset++]) << (8 * i);
    return value;
}

std::string KItemStreamReader::text() {
    if (!take(KItemStream::Item::Text, 4))
        return {};
    const std::uint64_t length = little(4);
    if (length > remaining()) {
        fail("a text is longer than the data left");
        return {};
    }
    std::string out(reinterpret_cast<const char*>(m_block.data() + m_offset), length);
    m_offset += length;
    return out;
}

std::int32_t KItemStreamReader::integer() {
    if (!take(KItemStream::Item::Integer, 4))
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(little(4)));
}

std::int64_t KItemStreamReader::integer64() {
    if (!take(KItemStream::Item::Integer64, 8))
        return 0;
    return static_cast<std::int64_t>(little(8));
}

char KItemStreamReader::character() {
    if (!take(KItemStream::Item::Character, 1))
        return 0;
    return static_cast<char>(m_block[m_offset++]);
}

void KItemStreamReader::end() {
    take(KItemStream::Item::End, 0);
}

void KItemStreamReader::expectText(std::string_view expected) {
    const std::size_t at = m_offset;
    const std::string found = text();
    if (ok() && found != expected) {
        m_offset = at;
        fail("expected the text \"" + std::string(expected) + "\"");
    }
}

std::int32_t KItemStreamReader::integerIn(std::int32_t min, std::int32_t max,
                                          std::string_view what) {
    const std::size_t at = m_offset;
    const std::int32_t value = integer();
    if (ok() && (value < min || value > max)) {
        m_offset = at;
        fail(std::string(what) + " " + std::to_string(value) + " is out of range");
        return 0;
    }
    return value;
}

std::string KItemStreamReader::spelled(std::int32_t maxLength, std::string_view what) {
    // Each character item takes two bytes, so a length beyond half the rest is damage.
    const auto fits = static_cast<std::int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(maxLength), remaining() / 2));
    const std::int32_t length = integerIn(0, fits, std::string(what) + " length");
    end();
    std::string out;
    for (std::int32_t i = 0; i < length && ok(); ++i)
        out.push_back(character());
    end();
    return ok() ? out : std::string();
}
