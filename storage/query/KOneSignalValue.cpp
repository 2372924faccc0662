#include "storage/query/KOneSignalValue.h"

#include "storage/query/KValuesQuery.h"

#include <algorithm>

KOneSignalValue::KOneSignalValue(const IEventSources& sources, SignalHandle handle, SimTime time) {
    std::vector<QueryLeaf> leaves;
    if (!sources.queryLeaves(handle, leaves))
        return;
    std::uint32_t size = 0;
    for (const QueryLeaf& leaf : leaves)
        size = std::max(size, leaf.offset + leaf.size);
    KValuesQuery query(sources, time);
    query.addSignal(handle);
    query.run();
    const auto value = query.value(handle);
    // A leaf of unknown size gives its value as it came.
    m_bytes.assign(size == 0 && value ? value->size() : size, 0);
    if (!value)
        return;
    m_hasValue = true;
    std::copy_n(value->data(), std::min<std::size_t>(value->size(), m_bytes.size()),
                m_bytes.begin());
}
