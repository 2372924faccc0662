#pragma once

// The value of one signal at one time as bytes, in a buffer of the signal's size (the sum of its
// leaves' sizes): what editing and formatting need when they ask "what is this signal here".

#include "storage/query/IEventSources.h"

#include <cstdint>
#include <vector>

class KOneSignalValue {
public:
    // Reads the value at once; throws KFileException when a source cannot be read.
    KOneSignalValue(const IEventSources& sources, SignalHandle handle, SimTime time);

    // False when the signal has no value at the time (the bytes are then zeros).
    bool hasValue() const { return m_hasValue; }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
    bool m_hasValue = false;
};
