#pragma once

// The settings store of tests and of the command line: values live in a map for the lifetime
// of the object, each remembering the kind it was written as.

#include "document/ISettingsStore.h"

#include <map>
#include <variant>

class KMemorySettingsStore : public ISettingsStore {
public:
    using Value = std::variant<std::uint32_t, std::int64_t, std::string, std::vector<std::uint8_t>>;

    // ISettingsStore
    std::optional<std::uint32_t> readUInt32(const std::string& key) const override;
    std::optional<std::int64_t> readInt64(const std::string& key) const override;
    std::optional<std::string> readString(const std::string& key) const override;
    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& key) const override;
    bool writeUInt32(const std::string& key, std::uint32_t value) override;
    bool writeInt64(const std::string& key, std::int64_t value) override;
    bool writeString(const std::string& key, const std::string& value) override;
    bool writeBinary(const std::string& key, const std::vector<std::uint8_t>& value) override;

    bool contains(const std::string& key) const { return m_values.count(key) != 0; }
    void remove(const std::string& key) { m_values.erase(key); }
    const std::map<std::string, Value>& values() const { return m_values; }

private:
    template <typename T> std::optional<T> read(const std::string& key) const;

    std::map<std::string, Value> m_values;
};
