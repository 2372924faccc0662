#pragma once

// One node of a signal tree as value formatting sees it: the signal's type, how it is shown,
// and its children (the elements of a bus, the fields of a record, the members of a virtual
// bus, in element order). The document's signal records implement it.
//
// A composite node's value is the concatenation of its children's values, so walking the tree in
// order and advancing a byte position by each leaf's size visits every element's bytes.

#include <cstdint>

class IValueNode {
public:
    virtual ~IValueNode() = default;

    // Index into the document's KTypesManager; 0 when the signal has no type information.
    virtual std::uint32_t typeIndex() const = 0;
    // The signal's own radix; 0 or less means the caller's default radix.
    virtual int radix() const = 0;
    virtual bool isInverted() const = 0;
    virtual int childCount() const = 0;
    // Child `index` in element order, 0 <= index < childCount().
    virtual const IValueNode& child(int index) const = 0;
};
