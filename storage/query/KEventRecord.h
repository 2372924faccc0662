#pragma once

// The unit an event query hands to its providers: one event (or one merged change) of one
// signal, in the document's time frame with every offset already applied.
//
// The value is an EventValue: 8 bytes inline, a longer value in a shared block that copies of
// the record share, or borrowed from a signal summary the provider pinned (a copy then takes the
// bytes as its own). The flags say what the query knows about the record beyond its value.

#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <utility>

class KEventRecord {
public:
    // Several events were folded into this change (a glitch when drawn).
    static constexpr std::uint16_t kMerged = 1u << 0;
    // The value lives in a shared block (it is longer than 8 bytes).
    static constexpr std::uint16_t kSharedBlock = 1u << 2;

    // State codes in the upper byte, set by the query that made the record. Records of the
    // first two kinds open a drawn range at its left edge; the last two close it at the right
    // edge (see KEventsQuery).
    enum State : std::uint8_t {
        NoState = 0,
        InForceAtStart = 1, // the value in force at the start time, from an earlier event
        ChangeAfterEnd = 2, // the first change after the end time
        AtStart = 3,        // an event lying exactly at the start time
        HeldToEnd = 4,      // no change up to the end time: the last value, at the end time
    };

    KEventRecord() = default;
    KEventRecord(EventKey key, EventValue value, std::uint16_t flags = 0)
        : m_time(key.time), m_delta(key.delta), m_value(std::move(value)) {
        setFlags(flags);
    }

    SimTime time() const { return m_time; }
    DeltaCycle delta() const { return m_delta; }
    EventKey key() const { return {m_time, m_delta}; }
    const EventValue& value() const { return m_value; }
    void setValue(EventValue value) {
        m_value = std::move(value);
        setFlags(m_flags);
    }

    // A copy whose value goes on borrowing where this one's does (see EventValue::keepBorrowing):
    // for a provider that pinned what it borrows from.
    KEventRecord keepBorrowing() const { return KEventRecord(*this, m_value.keepBorrowing()); }

    std::uint16_t flags() const { return m_flags; }
    // The shared-block bit always follows the value, whatever is passed.
    void setFlags(std::uint16_t flags) {
        m_flags = static_cast<std::uint16_t>((flags & ~kSharedBlock) |
                                             (m_value.isShared() ? kSharedBlock : 0));
    }
    bool isMerged() const { return (m_flags & kMerged) != 0; }
    void setMerged(bool merged) { setFlags(merged ? (m_flags | kMerged) : (m_flags & ~kMerged)); }
    std::uint8_t state() const { return static_cast<std::uint8_t>(m_flags >> 8); }
    // A record the events query adds to close a drawn range at its right edge: no event inside
    // the range, which readers of events rather than stretches skip.
    bool isClosing() const { return state() == ChangeAfterEnd || state() == HeldToEnd; }
    void setState(std::uint8_t state) {
        m_flags = static_cast<std::uint16_t>((m_flags & 0x00FF) | (state << 8));
    }

    friend bool operator==(const KEventRecord&, const KEventRecord&) = default;

private:
    KEventRecord(const KEventRecord& other, EventValue value) noexcept
        : m_time(other.m_time), m_delta(other.m_delta), m_value(std::move(value)),
          m_flags(other.m_flags) {}

    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
    EventValue m_value;
    std::uint16_t m_flags = 0;
};
