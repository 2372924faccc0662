#pragma once

// A KSignalCursor over one signal of a database file: the database's own per-signal cursor
// (which seeks through the block index and decodes only that signal's part of a block) with a
// time offset applied.

#include "storage/KSignalCursor.h"
#include "storage/evstream/SignalCursor.h"

#include <memory>

class KDatabaseSignalCursor final : public KSignalCursor {
public:
    KDatabaseSignalCursor(std::unique_ptr<evstream::SignalCursor> cursor, SimTime offset);

    bool seek(SimTime time) override;
    bool next() override;
    bool atEnd() const override { return m_cursor->atEnd(); }
    SimTime time() const override { return shifted(m_cursor->time(), m_offset); }
    DeltaCycle delta() const override { return m_cursor->delta(); }
    EventValue value() const override;
    bool previous(EventKey& key, EventValue* value) override;
    std::shared_ptr<const evstream::SignalSummary> summary(SimTime maxWidth) override {
        return m_cursor->summary(maxWidth);
    }

private:
    std::unique_ptr<evstream::SignalCursor> m_cursor;
    SimTime m_offset;
    bool m_positioned = false;
};
