#pragma once

// A persistent key/value store with the four value kinds user settings need: 32-bit words,
// 64-bit words, texts and byte strings. Keys are paths whose parts are separated by '/'.
//
// A read gives nothing when the key is absent or holds a value of another kind, so callers
// treat "missing" and "unreadable" alike. A write may fail (a read-only store, a full disk);
// some stores only learn of it when they flush.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual std::optional<std::uint32_t> readUInt32(const std::string& key) const = 0;
    virtual std::optional<std::int64_t> readInt64(const std::string& key) const = 0;
    virtual std::optional<std::string> readString(const std::string& key) const = 0;
    virtual std::optional<std::vector<std::uint8_t>> readBinary(const std::string& key) const = 0;

    virtual bool writeUInt32(const std::string& key, std::uint32_t value) = 0;
    virtual bool writeInt64(const std::string& key, std::int64_t value) = 0;
    virtual bool writeString(const std::string& key, const std::string& value) = 0;
    virtual bool writeBinary(const std::string& key, const std::vector<std::uint8_t>& value) = 0;

    // Makes the writes so far durable; false when any of them could not be stored.
    virtual bool flush() { return true; }
};
