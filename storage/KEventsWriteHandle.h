#pragma once

// A shared handle over an event sink: a database file being written or an in-memory stream.
//
// The handle is a value: copying shares one record and the stream behind it; each handle
// reference holds one stream reference, and the last holder releases both.
//
// Failures: every operation checks the stream's answer. On a refusal the handle drops its
// reference (it becomes null, so a broken sink is not written further) and throws a
// KFileException with the generic cause. A memory sink refuses declarations, annotations,
// properties and type strings; it accepts only time, delta and values.
//
// Releasing a database write stream completes the file, and that can fail. A destructor cannot
// throw, so it releases silently; whoever must know that the data reached the disk calls close(),
// which releases this handle's reference and throws when the stream reports a failure.

#include "storage/EventValue.h"
#include "storage/SimTime.h"
#include "storage/evstream/IEventsStream.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

class KEventsWriteHandle {
public:
    KEventsWriteHandle() noexcept = default;
    KEventsWriteHandle(const KEventsWriteHandle& other) noexcept;
    KEventsWriteHandle(KEventsWriteHandle&& other) noexcept;
    KEventsWriteHandle& operator=(const KEventsWriteHandle& other) noexcept;
    KEventsWriteHandle& operator=(KEventsWriteHandle&& other) noexcept;
    // Releases silently; see close().
    ~KEventsWriteHandle();

    // A new, empty memory stream at time 0, delta 0.
    static KEventsWriteHandle createMemory();
    // Creates (or truncates) a database file; null when the library cannot.
    static KEventsWriteHandle createDatabase(const std::string& fileName);
    // Takes over the one reference the caller holds on `stream`; null for a null stream.
    static KEventsWriteHandle adopt(evstream::IEventsStreamWrite* stream);

    explicit operator bool() const { return m_record != nullptr; }
    bool isInMemory() const;
    // How many handles share this record (0 for a null handle).
    std::uint32_t useCount() const;
    std::string fileName() const;

    // Drops this handle's reference now; the handle becomes null. Throws when the stream reports
    // that it could not be completed. Nothing happens for a null handle.
    void close();

    // Declarations (database sinks only).
    void beginDeclarations();
    void endDeclarations();
    void declareScalar(SignalHandle handle, const evstream::SignalInfo& info);
    void declareComposite(SignalHandle handle, const evstream::SignalInfo& info);
    void addAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                       std::string_view text);
    // One property per entry, in the map's order.
    void setProperties(SignalHandle handle, const std::map<std::string, std::string>& properties);
    void setTypeInfoString(SignalHandle handle, std::string_view typeInfo);

    // Events. setTime starts the new time at delta 0.
    void setTime(SimTime time);
    void setDelta(DeltaCycle delta);
    EventKey position() const;
    void writeValue(SignalHandle handle, const void* value, std::uint32_t size);
    void writeValue(SignalHandle handle, const EventValue& value);

private:
    friend class KEventsReadHandle; // makes a reader from a memory writer
    struct Record;

    explicit KEventsWriteHandle(Record* record) noexcept : m_record(record) {}
    evstream::IEventsStreamWrite* streamOrNull() const;
    evstream::IEventsStreamWrite& stream() const;
    // Drops this handle's reference; returns what the stream's Release reported.
    bool release() noexcept;
    // Drops this handle's reference and throws a KFileException saying `what` went wrong.
    [[noreturn]] void fail(const std::string& what);

    Record* m_record = nullptr;
};
