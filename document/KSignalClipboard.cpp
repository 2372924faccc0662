#include "document/KSignalClipboard.h"

#include "document/KDoc.h"

#include <algorithm>
#include <limits>

namespace {

void putLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Reads little-endian fields; a read past the end fails and answers 0 from then on.
class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    std::size_t remaining() const { return m_bytes.size() - m_offset; }
    std::uint64_t little(int bytes) {
        if (!m_ok || remaining() < static_cast<std::size_t>(bytes)) {
            m_ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint64_t>(m_bytes[m_offset++]) << (8 * i);
        return value;
    }
    std::string_view text(std::size_t length) {
        if (!m_ok || remaining() < length) {
            m_ok = false;
            return {};
        }
        std::string_view out(reinterpret_cast<const char*>(m_bytes.data() + m_offset), length);
        m_offset += length;
        return out;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
    bool m_ok = true;
};

std::optional<std::vector<KSignalClipboard::Entry>> refuse(std::string* error,
                                                           std::string_view why) {
    if (error != nullptr)
        *error = "damaged signal list clipboard data: " + std::string(why);
    return std::nullopt;
}

} // namespace

bool KSignalClipboard::describe(const KDoc& doc, SignalHandle handle, KSignalData& record) {
    const KSignalRecordPtr signal = doc.contains(handle) ? doc.record(handle) : nullptr;
    if (!signal || !signal->hasTypeInfo())
        return false;
    const std::string& typeInfo = doc.types().type(signal->typeIndex()).GetTypeInfoString();
    const std::string name = doc.fullName(handle);
    if (typeInfo.empty() || name.empty() || name.size() > std::numeric_limits<std::uint16_t>::max())
        return false;
    auto type = m_typeIndex.find(typeInfo);
    if (type == m_typeIndex.end()) {
        if (m_types.size() > std::numeric_limits<std::uint16_t>::max())
            return false;
        type = m_typeIndex.emplace(typeInfo, static_cast<std::uint16_t>(m_types.size())).first;
        m_types.push_back(typeInfo);
    }
    record.nameOffset = static_cast<std::uint32_t>(m_names.size());
    record.nameLength = static_cast<std::uint16_t>(name.size());
    m_names += name;
    record.typeIndex = type->second;
    record.mode = static_cast<std::uint8_t>(std::min<std::uint32_t>(signal->mode(), 255));
    record.flags = signal->isReadOnly() ? KSignalData::kReadOnly : 0;
    record.reserved = 0;
    return true;
}

void KSignalClipboard::AddSignals(const KSignalData* records, int count) {
    if (records != nullptr && count > 0)
        m_records.insert(m_records.end(), records, records + count);
}

std::vector<std::uint8_t> KSignalClipboard::GetData() const {
    std::vector<std::uint8_t> out;
    if (m_records.empty())
        return out;
    out.assign(std::begin(kMagic), std::end(kMagic));
    putLittle(out, m_records.size(), 4);
    for (const KSignalData& record : m_records) {
        putLittle(out, record.nameOffset, 4);
        putLittle(out, record.nameLength, 2);
        putLittle(out, record.typeIndex, 2);
        putLittle(out, record.mode, 1);
        putLittle(out, record.flags, 1);
        putLittle(out, 0, 2);
    }
    putLittle(out, m_types.size(), 4);
    for (const std::string& type : m_types) {
        putLittle(out, type.size(), 4);
        out.insert(out.end(), type.begin(), type.end());
    }
    putLittle(out, m_names.size(), 4);
    out.insert(out.end(), m_names.begin(), m_names.end());
    return out;
}

std::vector<std::uint8_t> KSignalClipboard::render(const KDoc& doc,
                                                   std::span<const SignalHandle> handles) {
    KSignalClipboard list;
    std::vector<KSignalData> records;
    for (SignalHandle handle : handles) {
        KSignalData record;
        if (list.describe(doc, handle, record))
            records.push_back(record);
    }
    list.AddSignals(records.data(), static_cast<int>(records.size()));
    return list.GetData();
}

std::optional<std::vector<KSignalClipboard::Entry>>
KSignalClipboard::parse(std::span<const std::uint8_t> block, std::string* error) {
    ByteCursor in(block);
    if (in.text(sizeof kMagic) != std::string_view(reinterpret_cast<const char*>(kMagic), 4))
        return refuse(error, "the data is not a signal list");
    const std::uint64_t count = in.little(4);
    if (count == 0 || count > in.remaining() / kRecordSize)
        return refuse(error, "the signal count does not fit the data");
    std::vector<KSignalData> records(count);
    for (KSignalData& record : records) {
        record.nameOffset = static_cast<std::uint32_t>(in.little(4));
        record.nameLength = static_cast<std::uint16_t>(in.little(2));
        record.typeIndex = static_cast<std::uint16_t>(in.little(2));
        record.mode = static_cast<std::uint8_t>(in.little(1));
        record.flags = static_cast<std::uint8_t>(in.little(1));
        in.little(2);
    }
    const std::uint64_t typeCount = in.little(4);
    if (!in.ok() || typeCount > in.remaining() / 4)
        return refuse(error, "the type count does not fit the data");
    std::vector<std::string_view> types;
    for (std::uint64_t i = 0; i < typeCount && in.ok(); ++i) {
        types.push_back(in.text(in.little(4)));
        if (in.ok() && !KTypeInfo::CheckTypeInfo(types.back()))
            return refuse(error, "type " + std::to_string(i) + " is unreadable");
    }
    const std::string_view names = in.text(in.little(4));
    if (!in.ok())
        return refuse(error, "the data ends inside the tables");
    if (in.remaining() != 0)
        return refuse(error, "unexpected data after the name table");
    std::vector<Entry> entries;
    for (const KSignalData& record : records) {
        if (record.typeIndex >= types.size())
            return refuse(error, "a signal names a type the list lacks");
        if (record.nameLength == 0 ||
            static_cast<std::uint64_t>(record.nameOffset) + record.nameLength > names.size())
            return refuse(error, "a signal's name lies outside the name table");
        entries.push_back({std::string(names.substr(record.nameOffset, record.nameLength)),
                           std::string(types[record.typeIndex]), record.mode,
                           (record.flags & KSignalData::kReadOnly) != 0});
    }
    return entries;
}
