#pragma once

// Imports a VCD file (IEEE 1364 value change dump, plain or gzip-compressed) into an event sink.
//
// The file is read once, front to back, in large chunks (KVcdScanner): the header becomes one
// declaration per variable, named by its scopes joined with '/', and every value change one
// WriteValue call at its time. The changes are parsed straight from the scanner's buffer, whole
// lines at a time; identifier codes are looked up through a direct table, binary digits
// counted 64 at a time and converted sixteen at a time straight into the variable's current
// value, and a change that repeats a signal's current value is dropped,
// so each stored event is a real change. Memory stays at a chunk of input plus one
// current value per variable, whatever the file's size. docs/vcd.md says what maps to what.

#include "storage/SimTime.h"
#include "storage/vcd/KVcdHeader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace evstream {
class FileStreamWrite;
class IEventsStreamWrite;
} // namespace evstream
class KVcdScanner;

struct KVcdImportSummary {
    std::int64_t signals = 0; // declared signals (variables imported)
    std::int64_t identifierCodes = 0;
    std::int64_t events = 0;           // value changes written
    std::int64_t repeatedValues = 0;   // changes dropped because they repeat the current value
    SimTime endTime = 0;               // the last timestamp, in picoseconds
    std::string timescale;             // as the file gives it ("1 fs"), or "" when it gives none
    std::int64_t roundedTimes = 0;     // timestamps that were not whole picoseconds
    std::int64_t unknownIntegers = 0;  // integer values with X/Z bits, stored as the left bound
    std::int64_t skippedVariables = 0; // string variables, which have no stored type
    bool truncatedLastLine = false;    // the last line was cut short and ignored
    std::uint64_t bytesRead = 0;       // of the file (compressed bytes for .gz)
};

class KVcdReader {
public:
    // Called now and then with the bytes of the file read so far and its size.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    // `chunkSize`: bytes read at a time (tests use tiny chunks to cross every boundary). The
    // default leaves what read() copied in the second-level cache for the parser to find.
    explicit KVcdReader(std::string fileName, std::size_t chunkSize = 512u << 10);
    // Reads VCD text held in memory (it must outlive the reader); `name` names it in messages.
    KVcdReader(std::string name, std::string_view contents, std::size_t chunkSize = 4u << 20);
    ~KVcdReader();

    // Reads the whole file into `sink` (declarations, type strings, events); a reader imports
    // its file once. Throws KFileException naming the file and line, and saying what was
    // expected, on bad input or when the sink fails.
    KVcdImportSummary importInto(evstream::IEventsStreamWrite& sink, const Progress& progress = {});
    // Reads the file on a thread of its own, a few chunks ahead of the parser (off by default):
    // worth it when a core is free for the copy out of the page cache or the decompression.
    void setReadAhead(bool on) { m_readAhead = on; }
    // The widest vector instructions the readers of this process may use where the processor
    // has them (all, by default); tests compare the narrower builds with the widest. Avx512Vbmi2
    // is the AVX-512 build that also finds line ends by a byte compress.
    enum class Simd { Sse2, Avx2, Avx512, Avx512Vbmi2 };
    static void setSimdLimit(Simd limit);

private:
    using Variable = KVcdHeader::Variable;
    using Slot = KVcdHeader::Slot;
    struct TruncatedTail {};

    void declare(evstream::IEventsStreamWrite& sink);

    // Body: complete lines go through the line functions, which take lines of one usual record
    // and return false, having changed nothing, for anything else; such a line goes record by
    // record through the fast functions, which return null, having changed nothing, for
    // anything else again (a keyword, a record spread over lines, bad input); such a record goes
    // through the token functions, which also give the error messages.
    enum class TimeError { None, Backwards, TooLate };
    void parseBody(evstream::IEventsStreamWrite& sink, const Progress& progress);
    // `kSimd`: the build for processors with those instructions (fastRecords() picks one).
    bool fastRecords(const char* p, const char* end);
    bool fastRecordsAvx512(const char* p, const char* end);
    bool fastRecordsAvx2(const char* p, const char* end);
    template <Simd kSimd> bool fastRecordsWith(const char* p, const char* end);
    template <Simd kSimd>
    const char* lineWindow(const char* p, const char* limit, const char* end, std::int64_t& line);
    template <Simd kSimd> bool lineVector(const char* p, const char* end);
    bool lineScalar(const char* p, const char* end);
    bool lineTimestamp(const char* p, const char* end);
    // What the value changes of an identifier code need of its slot, found straight from the
    // code's direct table entry: with a thousand buses the slots overflow the first-level
    // cache, and the entry, the slot and the value would be three loads one after another.
    struct ShortCode {
        std::int32_t slot = -1;   // -1 for a code never declared
        std::uint32_t offset = 0; // of the slot's current value
        // The width of a declared logic vector, which the vector parsers take; kScalar for a
        // declared std_logic, which the scalar parsers take; kNotVector else.
        std::uint32_t vectorWidth = kNotVector;
        SignalHandle handle = kNoSignal;
    };
    static constexpr std::uint32_t kNotVector = ~0u;
    static constexpr std::uint32_t kScalar = ~0u - 1;
    ShortCode entryOf(int slot) const;
    int lineCode(const char* p, const char* end) const;
    ShortCode shortCode(std::uint32_t word, std::size_t length) const;
    ShortCode lookupShort(std::uint32_t index) const {
        return index < m_shortCodeLimit ? m_shortCodes[index] : ShortCode{};
    }
    template <Simd kSimd> const char* records(const char* p, const char* limit, std::int64_t& line);
    const char* recordsAvx512(const char* p, const char* limit, std::int64_t& line);
    const char* recordsAvx2(const char* p, const char* limit, std::int64_t& line);
    template <Simd kSimd>
    const char* recordsOf(const char* p, const char* limit, std::int64_t& line);
    void noteWidth(std::size_t digits) {
        m_widthChanges += digits != m_lastWidth;
        m_lastWidth = digits;
        ++m_vectors;
    }
    const char* fastVector(const char* p);
    template <Simd kSimd> const char* repeatedWidth(const char* p);
    const char* fastScalar(const char* p);
    const char* fastTimestamp(const char* p);
    ShortCode fastCode(const char*& p) const;
    bool tokenRecord();
    TimeError applyTimestamp(std::uint64_t raw);
    void onTimestamp(std::string_view token);
    void onScalar(std::string_view token);
    void onVector(std::string_view value, std::string_view record);
    void onReal(std::string_view value, std::string_view record);
    void flushTime();
    void commit(Slot& slot, const std::uint8_t* bytes);
    void publish(Slot& slot, bool changed);
    void publishCode(const ShortCode& code, std::uint32_t size, bool changed);
    // The wide parsers store each new vector value in the writer's log as well as in the
    // current value, when the sink is a database file; else in m_spareRoom.
    std::uint8_t* valueRoom();
    void publishStored(const ShortCode& code, std::uint32_t size, bool changed);
    // publish() for the token path, which lives in another file: the line parser keeps it inline.
    void publishFromTokens(Slot& slot, bool changed);
    int lookupOrFail(std::string_view code, std::string_view record);
    bool convertLogic(const Slot& slot, std::string_view digits, std::string_view record);
    void convertInteger(std::string_view digits, std::string_view record);

    // The failure paths are cold: kept out of the value-change functions so those stay small.
    [[noreturn, gnu::cold]] void fail(std::string_view what) const;
    [[noreturn, gnu::cold]] void failRecord(std::string_view record, std::string_view what) const;
    [[noreturn, gnu::cold]] void failUndeclared(std::string_view code,
                                                std::string_view record) const;
    [[noreturn, gnu::cold]] void failScalar(std::string_view token) const;
    void check(bool ok, std::string_view call) const {
        if (!ok) [[unlikely]]
            failWrite(call);
    }
    [[noreturn, gnu::cold]] void failWrite(std::string_view call) const;

    std::string m_fileName;
    std::size_t m_chunkSize;
    std::string_view m_contents;
    bool m_inMemory = false;
    bool m_readAhead = false;
    std::unique_ptr<KVcdScanner> m_scanner;
    evstream::IEventsStreamWrite* m_sink = nullptr;
    evstream::FileStreamWrite* m_fileSink = nullptr; // m_sink, when it is one
    alignas(64) std::uint8_t m_spareRoom[64] = {};
    KVcdImportSummary m_summary;

    std::unique_ptr<KVcdHeader> m_header;
    std::vector<Variable> m_variables;
    std::vector<Slot> m_slots;
    std::vector<std::uint8_t> m_values;    // the current value of every slot
    std::vector<std::uint8_t> m_scratch;   // a new value being converted
    std::vector<std::uint32_t> m_lineEnds; // of the lines being parsed, from the first
    std::vector<ShortCode> m_shortCodes;   // by the code's base-95 number (KVcdHeader)
    std::uint32_t m_shortCodeLimit = 0;
    // Which parser takes the lines (fastRecords()), and what chooses it.
    bool m_lineMode = false;
    std::size_t m_lastWidth = 0;
    std::uint32_t m_vectors = 0;
    std::uint32_t m_widthChanges = 0;

    // Time: VCD ticks times m_multiplier, or divided by m_divisor (rounded), give picoseconds.
    std::int64_t m_multiplier = 1000;
    std::int64_t m_divisor = 1;
    std::uint64_t m_rawTime = 0;
    std::uint64_t m_writtenRaw = 0;
    SimTime m_time = 0;
    SimTime m_writtenTime = 0;
    DeltaCycle m_delta = 0;
    bool m_timePending = true;
    bool m_timeWritten = false;
};
