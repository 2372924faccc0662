#pragma once

// Reads the items of a KItemStream block in order.
//
// The reader never trusts the block: every read checks the tag and the bytes left, and the first
// failure is kept as a message (what was expected, at which byte) while every later read fails
// too and answers zero or an empty text, the way a data stream keeps a status. A format reader
// therefore reads on and checks ok() where a value decides how much more to read. Nothing is
// allocated beyond the size of the block itself.

#include "document/KItemStream.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class KItemStreamReader {
public:
    // Checks the magic; a block without it fails at once.
    explicit KItemStreamReader(std::span<const std::uint8_t> block);

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    // All bytes read (and no failure).
    bool atEnd() const { return ok() && m_offset == m_block.size(); }
    std::size_t offset() const { return m_offset; }
    std::size_t remaining() const { return m_block.size() - m_offset; }
    // The kind of the next item; nothing at the end or after a failure.
    std::optional<KItemStream::Item> peek() const;

    std::string text();
    std::int32_t integer();
    std::int64_t integer64();
    char character();
    void end();

    // A text item that must be `expected`.
    void expectText(std::string_view expected);
    // An integer in [min, max]; `what` names it in the message.
    std::int32_t integerIn(std::int32_t min, std::int32_t max, std::string_view what);
    // The reverse of KItemStream::spelled; at most `maxLength` characters.
    std::string spelled(std::int32_t maxLength, std::string_view what);

    // Records a failure (only the first counts) and returns false.
    bool fail(std::string_view message);

private:
    bool take(KItemStream::Item item, std::size_t payload);
    std::uint64_t little(int bytes);

    std::span<const std::uint8_t> m_block;
    std::size_t m_offset = 0;
    std::string m_error;
};
