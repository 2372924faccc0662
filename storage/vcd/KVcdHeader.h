#pragma once

// The declarations of a VCD file: everything up to $enddefinitions.
//
// Turns $scope/$var into variables with '/'-separated names and their types (docs/vcd.md),
// gives each identifier code one slot (several variables may share a code), and reads the
// $timescale. Codes of up to three characters, nearly all codes in practice, are found through
// a direct table indexed by the code as a base-95 number; longer codes through a hash map.

#include "storage/SimTime.h"
#include "storage/vcd/KVcdType.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class KVcdScanner;

class KVcdHeader {
public:
    struct Variable {
        std::string name; // full path, '/'-separated
        KVcdType type = KVcdType::logic();
        int slot = -1;
        bool skipped = false; // a string variable: no stored type
    };
    // One identifier code: kept small, as the value changes look it up in random order.
    struct Slot {
        SignalHandle handle = kNoSignal; // set when declared; -1 for skipped variables
        KVcdType::Kind kind = KVcdType::Kind::Logic;
        std::uint32_t width = 0;
        std::uint32_t size = 0;
        std::uint32_t offset = 0; // of its current value in the reader's value pool
        bool hasValue = false;
        bool skipped = false;
        int firstVariable = 0; // the variable that declared the code, for messages
    };

    explicit KVcdHeader(KVcdScanner& scanner);

    // Reads up to and including "$enddefinitions $end"; throws KFileException on bad input.
    void parse();
    // Skips the tokens of a section up to its $end.
    void skipToEnd(std::string_view keyword);

    // The slot of an identifier code, -1 when it was never declared.
    int lookup(std::string_view code) const {
        std::int32_t index = shortCodeIndex(code);
        if (index < 0)
            return lookupLong(code);
        return lookupShort(static_cast<std::uint32_t>(index));
    }
    // The slot of a code of up to three printable characters given as its base-95 number (each
    // character minus 32, first character least significant, so that short codes come first),
    // -1 when it was never declared.
    int lookupShort(std::uint32_t index) const {
        return index < m_shortCodes.size() ? m_shortCodes[index] - 1 : -1;
    }
    static constexpr int kShortCodeLength = 3;
    // The base-95 numbers of short codes are below this.
    std::uint32_t shortCodeLimit() const { return static_cast<std::uint32_t>(m_shortCodes.size()); }

    std::vector<Variable>& variables() { return m_variables; }
    std::vector<Slot>& slots() { return m_slots; }
    // VCD ticks times multiplier(), or divided by divisor() and rounded, give picoseconds.
    std::int64_t multiplier() const { return m_multiplier; }
    std::int64_t divisor() const { return m_divisor; }
    // As the file gives it ("1 fs"), or empty when it gives none (1 ns is assumed).
    const std::string& timescale() const { return m_timescale; }

private:
    // Lets the long codes be found by a view, without making a string per lookup.
    struct CodeHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view code) const {
            return std::hash<std::string_view>()(code);
        }
    };

    // Index of a code in the direct table, -1 when it is longer or not printable.
    static std::int32_t shortCodeIndex(std::string_view code) {
        if (code.empty() || code.size() > kShortCodeLength)
            return -1;
        std::int32_t index = 0;
        std::int32_t weight = 1;
        for (char c : code) {
            auto u = static_cast<unsigned char>(c);
            if (u < 33 || u > 126)
                return -1;
            index += weight * static_cast<std::int32_t>(u - 32);
            weight *= 95;
        }
        return index;
    }
    int lookupLong(std::string_view code) const;
    void parseVar();
    void parseTimescale();
    void expectEnd(std::string_view keyword);
    int slotFor(std::string_view code, const Variable& variable);

    KVcdScanner& m_scanner;
    std::vector<std::string> m_scopes;
    std::vector<Variable> m_variables;
    std::vector<Slot> m_slots;
    std::vector<std::int32_t> m_shortCodes; // slot + 1, 0 for none
    std::unordered_map<std::string, int, CodeHash, std::equal_to<>> m_longCodes;
    std::uint64_t m_valueBytes = 0;
    std::int64_t m_multiplier = 1000;
    std::int64_t m_divisor = 1;
    std::string m_timescale;
};
