#include "storage/evstream/SignalTable.h"

namespace evstream {

namespace {

enum RecordKind : std::uint8_t {
    kScalar = 1,
    kComposite = 2,
    kProperty = 3,
    kTypeInfo = 4,
    kAnnotation = 5,
};

std::string unknownHandle(SignalHandle handle) {
    return "signal handle " + std::to_string(handle) + " is not declared";
}

} // namespace

std::string SignalTable::declare(SignalHandle handle, const SignalInfo& info, bool composite) {
    if (handle == kNoSignal)
        return "signal handle -1 is reserved";
    if (m_index.count(handle) != 0)
        return "signal handle " + std::to_string(handle) + " is declared twice";
    if (composite && info.childCount < 0)
        return "composite " + std::to_string(handle) + " has a negative element count";
    SignalEntry entry;
    entry.handle = handle;
    entry.info = info;
    entry.info.isComposite = composite;
    entry.info.childCount = composite ? info.childCount : 0;
    if (info.parent != kNoSignal) {
        SignalEntry* parent = findMutable(info.parent);
        if (parent == nullptr || !parent->info.isComposite)
            return "parent " + std::to_string(info.parent) + " of signal " +
                   std::to_string(handle) + " is not a declared composite";
    }
    int index = size();
    entry.slot = index;
    if (info.sameEventsAs != kNoSignal) {
        const SignalEntry* target = find(info.sameEventsAs);
        if (composite || target == nullptr || target->info.isComposite)
            return "signal " + std::to_string(handle) + " shares the events of " +
                   std::to_string(info.sameEventsAs) + ", which is not a declared scalar";
        entry.slot = target->slot;
        entry.info.sameEventsAs = m_entries[std::size_t(target->slot)].handle;
        m_entries[std::size_t(target->slot)].aliases.push_back(index);
    }
    if (info.parent != kNoSignal)
        findMutable(info.parent)->children.push_back(handle);
    else
        m_roots.push_back(handle);
    m_index.emplace(handle, index);
    m_entries.push_back(std::move(entry));
    return {};
}

std::string SignalTable::setProperty(SignalHandle handle, std::string_view key,
                                     std::string_view value) {
    SignalEntry* entry = findMutable(handle);
    if (entry == nullptr)
        return unknownHandle(handle);
    entry->properties.insert_or_assign(std::string(key), std::string(value));
    return {};
}

std::string SignalTable::setTypeInfo(SignalHandle handle, std::string_view typeInfo) {
    SignalEntry* entry = findMutable(handle);
    if (entry == nullptr)
        return unknownHandle(handle);
    entry->typeInfo = typeInfo;
    return {};
}

std::string SignalTable::addAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                                       std::string_view text) {
    SignalEntry* entry = findMutable(handle);
    if (entry == nullptr)
        return unknownHandle(handle);
    entry->annotations.push_back(Annotation{time, std::string(key), std::string(text)});
    return {};
}

bool SignalTable::addVirtualBus(SignalHandle handle, SignalHandle parent, int index,
                                int elementCount) {
    constexpr int kMaxElements = 1 << 20;
    if (handle == kNoSignal || elementCount < 0 || elementCount > kMaxElements ||
        m_index.count(handle) != 0)
        return false;
    SignalInfo info;
    info.parent = parent;
    info.index = index;
    info.isComposite = true;
    info.childCount = elementCount;
    if (parent != kNoSignal) {
        SignalEntry* p = findMutable(parent);
        if (p == nullptr || !p->isVirtual)
            return false;
    }
    SignalEntry entry;
    entry.handle = handle;
    entry.info = info;
    entry.isVirtual = true;
    entry.children.assign(std::size_t(elementCount), kNoSignal);
    m_index.emplace(handle, size());
    m_entries.push_back(std::move(entry));
    return true;
}

bool SignalTable::addVirtualElement(SignalHandle handle, SignalHandle parent, int index) {
    SignalEntry* p = findMutable(parent);
    if (p == nullptr || !p->isVirtual || find(handle) == nullptr || index < 0)
        return false;
    if (std::size_t(index) >= p->children.size())
        p->children.resize(std::size_t(index) + 1, kNoSignal);
    p->children[std::size_t(index)] = handle;
    m_virtualParents[handle] = parent;
    return true;
}

SignalHandle SignalTable::parentOf(SignalHandle handle) const {
    if (auto it = m_virtualParents.find(handle); it != m_virtualParents.end())
        return it->second;
    const SignalEntry* entry = find(handle);
    return entry == nullptr ? kNoSignal : entry->info.parent;
}

int SignalTable::indexOf(SignalHandle handle) const {
    auto it = m_index.find(handle);
    return it == m_index.end() ? -1 : it->second;
}

const SignalEntry* SignalTable::find(SignalHandle handle) const {
    int index = indexOf(handle);
    return index < 0 ? nullptr : &m_entries[std::size_t(index)];
}

SignalEntry* SignalTable::findMutable(SignalHandle handle) {
    int index = indexOf(handle);
    return index < 0 ? nullptr : &m_entries[std::size_t(index)];
}

void SignalTable::encodeDeclaration(awf::ByteWriter& out, SignalHandle handle,
                                    const SignalInfo& info, bool composite) {
    out.u8(composite ? kComposite : kScalar);
    out.svarint(handle);
    out.svarint(info.parent);
    out.svarint(info.index);
    out.svarint(info.mode);
    out.svarint(composite ? info.childCount : 0);
    out.svarint(info.endTime);
    out.svarint(info.sameEventsAs);
    out.string(info.name);
}

void SignalTable::encodeProperty(awf::ByteWriter& out, SignalHandle handle, std::string_view key,
                                 std::string_view value) {
    out.u8(kProperty);
    out.svarint(handle);
    out.string(key);
    out.string(value);
}

void SignalTable::encodeTypeInfo(awf::ByteWriter& out, SignalHandle handle, std::string_view text) {
    out.u8(kTypeInfo);
    out.svarint(handle);
    out.string(text);
}

void SignalTable::encodeAnnotation(awf::ByteWriter& out, SignalHandle handle, SimTime time,
                                   std::string_view key, std::string_view text) {
    out.u8(kAnnotation);
    out.svarint(handle);
    out.svarint(time);
    out.string(key);
    out.string(text);
}

std::string SignalTable::applyRecords(std::span<const std::uint8_t> records, Records allowed) {
    awf::ByteReader in(records);
    while (!in.atEnd()) {
        std::uint8_t kind = in.u8();
        auto handle = SignalHandle(in.svarint());
        std::string error;
        if ((kind == kScalar || kind == kComposite) && allowed == Records::MetadataOnly) {
            return "a signal is declared after the declarations";
        } else if (kind == kScalar || kind == kComposite) {
            SignalInfo info;
            info.parent = SignalHandle(in.svarint());
            info.index = int(in.svarint());
            info.mode = int(in.svarint());
            info.childCount = int(in.svarint());
            info.endTime = in.svarint();
            info.sameEventsAs = SignalHandle(in.svarint());
            info.name = in.string();
            if (!in.failed())
                error = declare(handle, info, kind == kComposite);
        } else if (kind == kProperty) {
            std::string key = in.string();
            std::string value = in.string();
            if (!in.failed())
                error = setProperty(handle, key, value);
        } else if (kind == kTypeInfo) {
            std::string text = in.string();
            if (!in.failed())
                error = setTypeInfo(handle, text);
        } else if (kind == kAnnotation) {
            SimTime time = in.svarint();
            std::string key = in.string();
            std::string text = in.string();
            if (!in.failed())
                error = addAnnotation(handle, time, key, text);
        } else {
            return "unknown declaration record " + std::to_string(kind);
        }
        if (in.failed())
            return "declaration record cut short";
        if (!error.empty())
            return error;
    }
    return {};
}

} // namespace evstream
