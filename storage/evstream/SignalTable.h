#pragma once

// The declarations of one database file: the signal tree with each signal's properties,
// type-information string and annotations.
//
// Signals live in one flat vector in declaration order, addressed by handle through a map; the
// position in that vector is also the signal's event slot, the number under which its events are
// stored in blocks. A signal declared with sameEventsAs shares the slot of the signal it follows.
// The writer and the reader both go through the record functions below, so a file is checked on
// reading by exactly the rules that applied when it was written.

#include "storage/evstream/AwfFormat.h"
#include "storage/evstream/IEventsStream.h"

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace evstream {

struct SignalEntry {
    SignalHandle handle = kNoSignal;
    SignalInfo info;
    std::vector<SignalHandle> children; // in declaration (element) order
    int slot = -1;                      // where its events are stored
    std::vector<int> aliases;           // entries that share this entry's events
    std::map<std::string, std::string, std::less<>> properties;
    std::string typeInfo;
    std::vector<Annotation> annotations;
    bool isVirtual = false; // a virtual bus made on a reader, not in the file
};

class SignalTable {
public:
    // Each adds one record; an empty result means success, otherwise it says what is wrong.
    std::string declare(SignalHandle handle, const SignalInfo& info, bool composite);
    std::string setProperty(SignalHandle handle, std::string_view key, std::string_view value);
    std::string setTypeInfo(SignalHandle handle, std::string_view typeInfo);
    std::string addAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                              std::string_view text);

    // Virtual buses, made on a reader and never written.
    bool addVirtualBus(SignalHandle handle, SignalHandle parent, int index, int elementCount);
    bool addVirtualElement(SignalHandle handle, SignalHandle parent, int index);
    SignalHandle parentOf(SignalHandle handle) const;

    int indexOf(SignalHandle handle) const;
    const SignalEntry* find(SignalHandle handle) const;
    const SignalEntry& at(int index) const { return m_entries[std::size_t(index)]; }
    int size() const { return int(m_entries.size()); }
    const std::vector<SignalHandle>& roots() const { return m_roots; }

    // Records as stored in declaration and metadata chunks.
    static void encodeDeclaration(awf::ByteWriter& out, SignalHandle handle, const SignalInfo& info,
                                  bool composite);
    static void encodeProperty(awf::ByteWriter& out, SignalHandle handle, std::string_view key,
                               std::string_view value);
    static void encodeTypeInfo(awf::ByteWriter& out, SignalHandle handle, std::string_view text);
    static void encodeAnnotation(awf::ByteWriter& out, SignalHandle handle, SimTime time,
                                 std::string_view key, std::string_view text);
    // Which records a chunk may hold: signals are declared only in the declarations chunk.
    enum class Records { All, MetadataOnly };
    // Applies every record of a chunk; an empty result on success, else what is wrong.
    std::string applyRecords(std::span<const std::uint8_t> records, Records allowed);

private:
    SignalEntry* findMutable(SignalHandle handle);

    std::vector<SignalEntry> m_entries;
    std::unordered_map<SignalHandle, int> m_index;
    std::vector<SignalHandle> m_roots;
    std::unordered_map<SignalHandle, SignalHandle> m_virtualParents;
};

} // namespace evstream
