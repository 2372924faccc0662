#pragma once

// A KSignalCursor over one signal of a database file: the database's own per-signal cursor
// (which seeks through the block index and decodes only that signal's part of a block) with a
// time offset applied.

#include "storage/KSignalCursor.h"
#include "storage/KValuePins.h"
#include "storage/evstream/SignalCursor.h"

#include <memory>

class KDatabaseSignalCursor final : public KSignalCursor {
public:
    KDatabaseSignalCursor(std::unique_ptr<evstream::SignalCursor> cursor, SimTime offset);

    bool seek(SimTime time) override;
    bool next() override { return m_positioned && m_cursor->next(); }
    bool atEnd() const override { return m_cursor->atEnd(); }
    SimTime time() const override { return shifted(m_cursor->time(), m_offset); }
    DeltaCycle delta() const override { return m_cursor->delta(); }
    EventKey key() const override { return {time(), delta()}; }
    EventValue value() const override {
        const std::uint32_t size = m_cursor->valueSize();
        if (size > EventValue::kInlineSize && m_pins != nullptr &&
            (m_cursor->section().get() == m_lent[0] || lend()))
            return EventValue::borrow(m_cursor->value(), size);
        return EventValue(m_cursor->value(), size);
    }
    bool previous(EventKey& key, EventValue* value) override;
    void lendValues(KValuePins* pins) override {
        m_pins = pins;
        m_lent[0] = m_lent[1] = nullptr;
    }
    std::shared_ptr<const evstream::SignalSummary> summary(SimTime maxWidth) override {
        return m_cursor->summary(maxWidth);
    }

private:
    std::unique_ptr<evstream::SignalCursor> m_cursor;
    SimTime m_offset;
    bool m_positioned = false;
    // Whether the current section is pinned (pinning it when the budget allows).
    bool lend() const;

    KValuePins* m_pins = nullptr;
    // The sections pinned last: a fold's value may come from the section before the current one.
    mutable const void* m_lent[2] = {nullptr, nullptr};
};
