#include "storage/KDatabaseSignalCursor.h"

#include <utility>

KDatabaseSignalCursor::KDatabaseSignalCursor(std::unique_ptr<evstream::SignalCursor> cursor,
                                             SimTime offset)
    : m_cursor(std::move(cursor)), m_offset(offset) {}

bool KDatabaseSignalCursor::seek(SimTime time) {
    m_positioned = true;
    return m_cursor->seek(unshifted(time, m_offset));
}

bool KDatabaseSignalCursor::next() {
    return m_positioned && m_cursor->next();
}

EventValue KDatabaseSignalCursor::value() const {
    return EventValue(m_cursor->value(), m_cursor->valueSize());
}

bool KDatabaseSignalCursor::previous(EventKey& key, EventValue* value) {
    if (!m_positioned)
        return false;
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
