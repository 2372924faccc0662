#include "storage/KDatabaseSignalCursor.h"

#include <limits>
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
    const bool atEnd = m_cursor->atEnd();
    const SimTime time = atEnd ? 0 : m_cursor->time();
    const std::uint64_t index = atEnd ? 0 : m_cursor->eventIndex();
    if (!m_cursor->previous())
        return false;
    key = {this->time(), delta()};
    if (value != nullptr)
        *value = this->value();
    // Back to where the cursor was through the block index rather than by stepping forward:
    // between two events of a quiet signal may lie many blocks without any of its events.
    if (atEnd) {
        m_cursor->seek(std::numeric_limits<SimTime>::max());
        while (!m_cursor->atEnd())
            m_cursor->next();
    } else {
        m_cursor->seek(time);
        while (!m_cursor->atEnd() && m_cursor->eventIndex() < index)
            m_cursor->next();
    }
    return true;
}
