#include "document/KItemStream.h"

#include <cassert>
#include <limits>

KItemStream::KItemStream() : m_data(std::begin(kMagic), std::end(kMagic)) {}

void KItemStream::little(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        m_data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

KItemStream& KItemStream::text(std::string_view text) {
    assert(text.size() <= std::numeric_limits<std::uint32_t>::max());
    tag(Item::Text);
    little(text.size(), 4);
    m_data.insert(m_data.end(), text.begin(), text.end());
    return *this;
}

KItemStream& KItemStream::integer(std::int32_t value) {
    tag(Item::Integer);
    little(static_cast<std::uint32_t>(value), 4);
    return *this;
}

KItemStream& KItemStream::integer64(std::int64_t value) {
    tag(Item::Integer64);
    little(static_cast<std::uint64_t>(value), 8);
    return *this;
}

KItemStream& KItemStream::character(char value) {
    tag(Item::Character);
    m_data.push_back(static_cast<std::uint8_t>(value));
    return *this;
}

KItemStream& KItemStream::end() {
    tag(Item::End);
    return *this;
}

KItemStream& KItemStream::spelled(std::string_view text) {
    assert(text.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()));
    integer(static_cast<std::int32_t>(text.size())).end();
    for (char c : text)
        character(c);
    return end();
}
