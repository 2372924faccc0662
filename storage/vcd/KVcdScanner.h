#pragma once

// Splits a VCD file (plain or gzip-compressed) into whitespace-separated tokens.
//
// The file is read in large chunks into one buffer; tokens are views into that buffer, so the
// scanner never allocates per token and never holds more than a chunk or two of the file. A
// refill moves the unread tail (and the token returned just before, which a two-token record
// such as "b1010 !" still needs) to the front of the buffer: a view is valid only until the
// next call of next(), after which previous() gives the earlier token at its new place. Lines
// are counted as whitespace is skipped, for error messages. A caller may also parse the complete
// lines in the buffer itself (lines()) and hand the position back (resumeAt()).

#include "storage/vcd/KVcdDigits.h"
#include "storage/vcd/KVcdReadAhead.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class KVcdScanner {
public:
    // Opens the file; throws KFileException when it cannot be read.
    explicit KVcdScanner(std::string fileName, std::size_t chunkSize = 512u << 10);
    // Scans text held in memory (not copied; it must outlive the scanner); `name` names it in
    // messages.
    KVcdScanner(std::string name, std::string_view contents, std::size_t chunkSize);
    ~KVcdScanner();
    KVcdScanner(const KVcdScanner&) = delete;
    KVcdScanner& operator=(const KVcdScanner&) = delete;

    // Reads the input on a thread of its own from now on, a few chunks ahead (KVcdReadAhead);
    // call before the first token. Pipes and devices stay on the caller's thread, which may
    // then stop reading whenever it likes.
    void startReadAhead();

    // The next token, or an empty view at the end of the input.
    std::string_view next() {
        for (;;) {
            const char* p = m_pos;
            const char* end = m_end;
            while (p < end && isSpace(*p)) {
                m_line += (*p == '\n');
                ++p;
            }
            const char* start = p;
            p = tokenEnd(p, end);
            if (p < end || m_eof) {
                m_pos = p;
                m_previous = m_current;
                m_previousSize = m_currentSize;
                m_current = start;
                m_currentSize = static_cast<std::size_t>(p - start);
                m_tokenLine = m_line;
                return {start, m_currentSize};
            }
            m_pos = start;
            refill();
        }
    }
    // The token returned before the last one (valid until the next call of next()).
    std::string_view previous() const { return {m_previous, m_previousSize}; }

    // The complete lines in the buffer from the current position: up to and including the last
    // line break read so far (reading more first when none is left), empty when there is none.
    // At least vcddigits::kReadAhead readable bytes follow the view, so a caller may load words
    // across its end; the view is valid until next(), lines() or resumeAt().
    std::string_view lines() {
        if (m_linesEnd <= m_pos && !m_eof)
            refill();
        return m_linesEnd > m_pos
                   ? std::string_view(m_pos, static_cast<std::size_t>(m_linesEnd - m_pos))
                   : std::string_view();
    }
    // Goes on from `pos` (inside the view lines() gave), which is on line `line`; a caller that
    // parsed the text before it itself hands the scanning back this way.
    void resumeAt(const char* pos, std::int64_t line) {
        m_pos = pos;
        m_line = line;
        m_tokenLine = line;
        m_current = nullptr;
        m_previous = nullptr;
        m_currentSize = 0;
        m_previousSize = 0;
    }
    // The line at the current position (1-based).
    std::int64_t currentLine() const { return m_line; }
    // How many times the buffer was refilled: callers report progress when it changes.
    std::uint64_t refills() const { return m_refills; }

    // The line of the token last returned (1-based).
    std::int64_t line() const { return m_tokenLine; }
    const std::string& fileName() const { return m_fileName; }
    // Bytes of the file consumed so far (compressed bytes for a .gz file) and the file's size.
    std::uint64_t fileOffset() const;
    std::uint64_t fileSize() const { return m_fileSize; }
    // Throws KFileException (bad format) with the file, "line N: " and `what`.
    [[noreturn]] void fail(std::string_view what) const;
    // A token quoted for a message, cut after 40 characters.
    static std::string quoted(std::string_view text);
    // Whether the input is empty (nothing but whitespace was read so far and the file ended).
    bool atEnd() const { return m_eof && m_pos == m_end; }
    // True when `token` lies on the last line of a file that ends without a line break: a record
    // there that does not parse is a recording cut short, not a damaged file.
    bool isOnUnterminatedLastLine(std::string_view token) const;

    // ' ', '\t', '\n', '\v', '\f' or '\r': one bit test rather than six comparisons.
    static bool isSpace(char c) {
        auto u = static_cast<unsigned char>(c);
        constexpr std::uint64_t kSpaces = (std::uint64_t{1} << ' ') | (std::uint64_t{0x1F} << '\t');
        return u <= ' ' && ((kSpaces >> u) & 1) != 0;
    }

private:
    // Room for the line parser's loads beyond the last line (vcddigits).
    static constexpr std::size_t kSlack = vcddigits::kReadAhead;

    void refill();
    void refillAhead();
    [[noreturn]] void failLongWord() const;
    void allocate(std::size_t size);
    std::size_t readSome(char* into, std::size_t capacity);
    std::uint64_t readOffset() const;
    // The first separator at or after p, or end; eight bytes at a time, as the long binary
    // values of buses are most of a typical file.
    static const char* tokenEnd(const char* p, const char* end) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            // Flags the first byte below 0x21 exactly (later flags may be false).
            std::uint64_t separators = (word - kOnes * 0x21) & ~word & (kOnes * 0x80);
            if (separators == 0) {
                p += 8;
                continue;
            }
            const char* at = p + (__builtin_ctzll(separators) >> 3);
            if (isSpace(*at))
                return at;
            p = at + 1; // another control character: part of the token, as for the skipping
        }
        while (p < end && !isSpace(*p))
            ++p;
        return p;
    }

    std::string m_fileName;
    int m_fd = -1;
    void* m_gz = nullptr;      // gzFile when the file is gzip-compressed
    std::string_view m_memory; // the unread rest of in-memory contents
    bool m_inMemory = false;
    std::uint64_t m_fileSize = 0;
    std::size_t m_chunkSize;
    std::vector<char> m_buffer;   // the chunk, followed by kSlack bytes that are never data
    const char* m_base = nullptr; // the start of the buffered data
    bool m_regularFile = false;
    std::unique_ptr<KVcdReadAhead> m_ahead;
    KVcdReadAhead::Chunk m_held;     // the read-ahead chunk holding the data, if any
    std::uint64_t m_aheadOffset = 0; // fileOffset() after the chunks handed over so far
    const char* m_pos = nullptr;
    const char* m_linesEnd = nullptr; // just after the last line break in the buffer
    const char* m_end = nullptr;
    const char* m_current = nullptr;  // start of the token last returned
    const char* m_previous = nullptr; // start of the token before it
    std::size_t m_currentSize = 0;
    std::size_t m_previousSize = 0;
    bool m_eof = false;
    std::int64_t m_line = 1;
    std::int64_t m_tokenLine = 1;
    std::uint64_t m_refills = 0;
};
