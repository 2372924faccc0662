#pragma once

// Groups selected signals into a new virtual bus.
//
// The bus's type is made from its members: an array "new_type_name" of 0 to n - 1 when every
// member has the same type, otherwise a record "new_type_name" whose field i is the member's
// name followed by i, typed like the member. When some member has no type information the bus
// gets none. The bus is a new top-level signal named "VBUS<n>", marked as a virtual bus, whose
// children are the members in the order selected; it takes the row of the topmost member, and the
// members leave the rows. A member's name becomes its full design path (which leaves its full
// name, and so the name indexes, unchanged).
//
// Members must be top-level signals or members of another virtual bus (which they leave); an
// element of a declared bus cannot leave it.

#include "document/KDoc.h"

#include <optional>
#include <span>
#include <string>

class KVBusCreator {
public:
    explicit KVBusCreator(KDoc& doc) : m_doc(doc) {}

    // Makes the bus and broadcasts SignalsAddedRemoved with it. Returns its handle, or 0 when the
    // selection is empty, names an unknown signal or a member that cannot move.
    SignalHandle create(std::span<const SignalHandle> selected);
    // The type-information string of a bus over these signals; none when a member has no type.
    std::optional<std::string> busTypeInfo(std::span<const SignalHandle> selected) const;

private:
    KDoc& m_doc;
};
