#pragma once

// The evaluation of a formula over a fill range [start, end).
//
// Items come out in time order: the formula's offsets added to `start`, and with a repeat period
// the whole sequence again, shifted by one more period each time, until an item reaches `end`.
// Offsets never decrease and a period is longer than the span of the offsets, so the first item
// at or past `end` ends the evaluation. Times are whole picoseconds; a time beyond the SimTime
// range ends the evaluation as an error rather than wrapping around.

#include "storage/Formula.h"

#include <optional>
#include <string_view>

struct FormulaEvent {
    std::string_view value; // the item's value text, owned by the formula
    SimTime time = 0;
    TimeUnit unit = Ps;   // the unit the offset was written in
    std::size_t item = 0; // index into the formula's items
};

class KFormulaIterator {
public:
    // `formula` must outlive the iterator. An empty range yields nothing.
    KFormulaIterator(const Formula& formula, SimTime start, SimTime end);

    // The next item in [start, end), or nothing when the evaluation is over.
    std::optional<FormulaEvent> next();
    // True when the evaluation ended because a time did not fit SimTime.
    bool overflowed() const { return m_overflowed; }

private:
    const Formula& m_formula;
    SimTime m_end;
    SimTime m_base;          // start plus the periods passed so far
    std::size_t m_index = 0; // next item in the current repetition
    bool m_done = false;
    bool m_overflowed = false;
};
