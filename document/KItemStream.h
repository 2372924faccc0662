#pragma once

// A flat sequence of typed items (texts, 32-bit and 64-bit integers, single characters and end
// marks), the container of the clipboard formats. Writing appends items to a byte block that
// starts with a four-byte magic; KItemStreamReader reads them back. The byte layout is described
// in docs/clipboard-formats.md.

#include <cstdint>
#include <string_view>
#include <vector>

class KItemStream {
public:
    // The tag byte that opens each item.
    enum class Item : std::uint8_t {
        Text = 'T',      // u32 byte count, then the bytes
        Integer = 'I',   // 4 bytes, little-endian two's complement
        Integer64 = 'L', // 8 bytes, little-endian two's complement
        Character = 'C', // 1 byte
        End = 'E',       // no payload
    };
    static constexpr std::uint8_t kMagic[4] = {'K', 'I', 'S', '1'};

    KItemStream();

    KItemStream& text(std::string_view text);
    KItemStream& integer(std::int32_t value);
    KItemStream& integer64(std::int64_t value);
    KItemStream& character(char value);
    KItemStream& end();

    // Writes a text as characters one by one between end marks: its length as an integer, end
    // mark, each byte as a character item, end mark.
    KItemStream& spelled(std::string_view text);

    const std::vector<std::uint8_t>& data() const { return m_data; }
    std::vector<std::uint8_t> take() { return std::move(m_data); }

private:
    void tag(Item item) { m_data.push_back(static_cast<std::uint8_t>(item)); }
    void little(std::uint64_t value, int bytes);

    std::vector<std::uint8_t> m_data;
};
