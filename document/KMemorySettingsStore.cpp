#include "document/KMemorySettingsStore.h"

template <typename T> std::optional<T> KMemorySettingsStore::read(const std::string& key) const {
    const auto it = m_values.find(key);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    if (const T* value = std::get_if<T>(&it->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> KMemorySettingsStore::readUInt32(const std::string& key) const {
    return read<std::uint32_t>(key);
}

std::optional<std::int64_t> KMemorySettingsStore::readInt64(const std::string& key) const {
    return read<std::int64_t>(key);
}

std::optional<std::string> KMemorySettingsStore::readString(const std::string& key) const {
    return read<std::string>(key);
}

std::optional<std::vector<std::uint8_t>>
KMemorySettingsStore::readBinary(const std::string& key) const {
    return read<std::vector<std::uint8_t>>(key);
}

bool KMemorySettingsStore::writeUInt32(const std::string& key, std::uint32_t value) {
    m_values[key] = value;
    return true;
}

bool KMemorySettingsStore::writeInt64(const std::string& key, std::int64_t value) {
    m_values[key] = value;
    return true;
}

bool KMemorySettingsStore::writeString(const std::string& key, const std::string& value) {
    m_values[key] = value;
    return true;
}

bool KMemorySettingsStore::writeBinary(const std::string& key,
                                       const std::vector<std::uint8_t>& value) {
    m_values[key] = value;
    return true;
}
