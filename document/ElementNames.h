#pragma once

// The names of the elements of a composite signal, as suffixes of the signal's own name.
//
// Arrays: "(i)" per element, "(i,j)" for two dimensions and so on; each dimension runs from its
// left bound to its right bound in its direction, the last dimension varying fastest. Records:
// "." and the field name. Other types have no elements.

#include "storage/KTypeInfo.h"

#include <cstdint>
#include <string>
#include <vector>

// Beyond this many elements a type is not broken into element rows (nor named).
inline constexpr std::int64_t kMaxElementRows = 1 << 20;

// The suffixes in element order; empty for a type without elements or with more than
// kMaxElementRows of them.
std::vector<std::string> elementSuffixes(const KTypeInfo& type);
// The type-information string of element `index` (the element type of an array, the field's type
// of a record).
std::string elementTypeInfo(const KTypeInfo& type, int index);
