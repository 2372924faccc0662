#include "document/ElementNames.h"
#include "document/KDoc.h"
#include "storage/TextCase.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

namespace {

void eraseEntry(std::multimap<std::string, SignalHandle>& index, const std::string& key,
                SignalHandle handle) {
    auto [first, last] = index.equal_range(key);
    for (auto it = first; it != last; ++it) {
        if (it->second == handle) {
            index.erase(it);
            return;
        }
    }
}

SignalHandle lookUp(const std::multimap<std::string, SignalHandle>& index, const std::string& key) {
    auto found = index.find(key);
    return found != index.end() ? found->second : 0;
}

std::uint16_t nameLength(const std::string& name) {
    return static_cast<std::uint16_t>(
        std::min<std::size_t>(name.size(), std::numeric_limits<std::uint16_t>::max()));
}

} // namespace

// Name indexes

std::string KDoc::fullName(const KSignalRecord& record) const {
    return m_hierarchy.text(record.hierarchyIndex()) + record.name();
}

std::string KDoc::fullName(SignalHandle handle) const {
    const KSignalRecordPtr found = record(handle);
    return found ? fullName(*found) : std::string();
}

void KDoc::indexName(const KSignalRecord& record) {
    const std::string name = fullName(record);
    m_byName.emplace(name, record.handle());
    m_byUpperName.emplace(asciiUpper(name), record.handle());
}

void KDoc::unindexName(const KSignalRecord& record) {
    const std::string name = fullName(record);
    eraseEntry(m_byName, name, record.handle());
    eraseEntry(m_byUpperName, asciiUpper(name), record.handle());
}

SignalHandle KDoc::findByName(std::string_view name) const {
    return lookUp(m_byName, std::string(name));
}

SignalHandle KDoc::findByUpperName(std::string_view name) const {
    return lookUp(m_byUpperName, asciiUpper(name));
}

void KDoc::rebuildNameIndex() {
    m_byName.clear();
    m_byUpperName.clear();
    for (const auto& [handle, record] : m_signals)
        indexName(*record);
}

bool KDoc::setHierarchyIndex(SignalHandle handle, std::uint32_t index) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end() || !m_hierarchy.contains(index))
        return false;
    unindexName(*found->second);
    found->second->setHierarchyIndex(index);
    indexName(*found->second);
    broadcast(UpdateHint::ListChanged);
    return true;
}

// Renaming

bool KDoc::rename(SignalHandle handle, std::string name) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end())
        return false;
    KSignalsSet renamed;
    renameTree(*found->second, std::move(name), renamed);
    broadcast(UpdateHint::NamesChanged, &renamed);
    return true;
}

bool KDoc::useFullNameAsName(SignalHandle handle) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end())
        return false;
    KSignalRecord& record = *found->second;
    std::string path = fullName(record);
    if (record.hierarchyIndex() == 0 && record.name() == path)
        return true;
    for (SignalHandle h : collect(handle)) {
        if (auto below = m_signals.find(h); below != m_signals.end()) {
            unindexName(*below->second);
            below->second->setHierarchyIndex(0);
            indexName(*below->second);
        }
    }
    KSignalsSet renamed;
    renameTree(record, std::move(path), renamed);
    broadcast(UpdateHint::NamesChanged, &renamed);
    return true;
}

void KDoc::renameTree(KSignalRecord& record, std::string name, KSignalsSet& renamed) {
    unindexName(record);
    record.setName(std::move(name));
    indexName(record);
    renamed.add(record.handle());
    // Members of a virtual bus are named by their own design paths, not by the bus.
    if (record.isVirtualBus())
        return;
    const std::vector<std::string> suffixes =
        record.hasTypeInfo() ? elementSuffixes(m_types.type(record.typeIndex()))
                             : std::vector<std::string>();
    const bool byType = suffixes.size() == record.children().size();
    for (std::size_t i = 0; i < record.children().size(); ++i) {
        KSignalRecord& child = *record.children()[i];
        std::string suffix;
        if (byType)
            suffix = suffixes[i];
        else if (child.parentNameLength() != 0 && child.parentNameLength() <= child.name().size())
            // Without a type that names every element, keep each element's own suffix.
            suffix = child.name().substr(child.parentNameLength());
        else
            continue; // not named after this signal
        child.setParentNameLength(nameLength(record.name()));
        renameTree(child, record.name() + suffix, renamed);
    }
}

// Declarations

bool KDoc::isDesignPath(SignalHandle handle) const {
    const KSignalRecordPtr found = record(handle);
    if (!found)
        return false;
    if (found->isTopLevel())
        return !found->isVirtualBus();
    const KSignalRecordPtr parent = record(found->parent());
    return parent && parent->isVirtualBus();
}

std::string KDoc::declaration(SignalHandle handle) const {
    const KSignalRecordPtr signal = record(handle);
    if (!signal)
        return {};
    // Walking up through names that are not design paths ends either at a design path (the
    // signal is declared in the design) or at the top of a virtual bus.
    KSignalRecordPtr walk = signal;
    for (std::size_t depth = 0; walk && !isDesignPath(walk->handle()); ++depth) {
        if (walk->isTopLevel() || depth > m_signals.size())
            return "Virtual Bus";
        walk = record(walk->parent());
    }
    const std::string type = signal->hasTypeInfo()
                                 ? m_types.type(signal->typeIndex()).GetTypeIdentifier()
                                 : std::string("<type unknown>");
    return KSignalRecord::declarationText(signal->mode(), signal->name(), type);
}

// Names of new signals

std::string KDoc::uniqueCopyName(std::string name) const {
    static constexpr std::string_view kPrefix = "COPY_(";
    static constexpr std::string_view kInfix = ")_OF_";
    while (findByName(name) != 0) {
        const std::size_t slash = name.rfind('/');
        const std::string directory =
            slash == std::string::npos ? std::string() : name.substr(0, slash);
        const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
        std::int64_t number = 1;
        std::string rest = leaf;
        const std::size_t infix = leaf.find(kInfix);
        if (leaf.starts_with(kPrefix) && infix != std::string::npos) {
            std::int64_t read = 0;
            for (std::size_t i = kPrefix.size();
                 i < leaf.size() && std::isdigit(static_cast<unsigned char>(leaf[i])) &&
                 read < INT32_MAX;
                 ++i)
                read = read * 10 + (leaf[i] - '0');
            number = read > 0 ? read + 1 : 1;
            rest = leaf.substr(infix + kInfix.size());
        }
        const std::string counted =
            std::string(kPrefix) + std::to_string(number) + std::string(kInfix);
        if (rest.find('\\') != std::string::npos && rest.size() >= 2)
            name = directory + "/\\" + counted + rest.substr(1, rest.size() - 2) + "\\";
        else
            name = directory + "/" + counted + rest;
    }
    return name;
}

std::string KDoc::newVirtualBusName() const {
    for (std::uint32_t n = 1;; ++n) {
        const std::string name = "VBUS" + std::to_string(n);
        const bool taken = std::any_of(m_signals.begin(), m_signals.end(), [&](const auto& entry) {
            return entry.second->name() == name;
        });
        if (!taken)
            return name;
    }
}
