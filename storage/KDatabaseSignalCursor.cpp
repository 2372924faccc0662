#include "storage/KDatabaseSignalCursor.h"

#include "storage/evstream/BlockStore.h"

#include <utility>

KDatabaseSignalCursor::KDatabaseSignalCursor(std::unique_ptr<evstream::SignalCursor> cursor,
                                             SimTime offset)
    : m_cursor(std::move(cursor)), m_offset(offset) {}

bool KDatabaseSignalCursor::seek(SimTime time) {
    m_positioned = true;
    return m_cursor->seek(unshifted(time, m_offset));
}

bool KDatabaseSignalCursor::lend() const {
    const std::shared_ptr<const evstream::SlotEvents>& section = m_cursor->section();
    if (section.get() == m_lent[0] || section.get() == m_lent[1])
        return true;
    if (!m_pins->pin(section, evstream::BlockStore::decodedBytes(*section)))
        return false;
    m_lent[1] = m_lent[0];
    m_lent[0] = section.get();
    return true;
}

bool KDatabaseSignalCursor::previous(EventKey& key, EventValue* value) {
    if (!m_positioned)
        return false;
    if (m_cursor->hasPreviousInSection()) {
        // The usual case, a fold's value: one step back and forth, nothing to mark.
        m_cursor->previous();
        key = {this->time(), delta()};
        if (value != nullptr)
            *value = this->value();
        m_cursor->next();
        return true;
    }
    // Back to where the cursor was by its mark rather than by a seek: between two events of a
    // quiet signal may lie many blocks without any of its events.
    evstream::SignalCursor::Mark here = m_cursor->mark();
    if (!m_cursor->previous())
        return false;
    key = {this->time(), delta()};
    if (value != nullptr)
        *value = this->value();
    m_cursor->restore(std::move(here));
    return true;
}
