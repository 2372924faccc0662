#pragma once

// The values of some signals at one time: the value in force there (the last change at or
// before it), read as the start value of a query that reads no further.

#include "storage/query/KEventsProvider.h"

#include <optional>
#include <unordered_map>

class KValuesQuery : public KEventsProvider {
public:
    KValuesQuery(const IEventSources& sources, SimTime time);

    // The value of a requested signal; nothing when it has none at the time.
    std::optional<EventValue> value(SignalHandle handle) const;

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;

private:
    std::unordered_map<SignalHandle, EventValue> m_values;
};
