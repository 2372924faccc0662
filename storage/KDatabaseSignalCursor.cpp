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
    // The database cursor steps back and forth cheaply (the blocks it passes are cached), so
    // looking back is a step back, a read and a step forward again.
    if (!m_positioned || !m_cursor->previous())
        return false;
    key = {time(), delta()};
    if (value != nullptr)
        *value = this->value();
    m_cursor->next();
    return true;
}
