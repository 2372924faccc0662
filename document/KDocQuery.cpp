#include "document/KDoc.h"
#include "storage/ValueText.h"

#include <limits>

bool KDoc::queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const {
    leaves.clear();
    auto found = m_signals.find(handle);
    if (found == m_signals.end())
        return false;
    std::uint32_t offset = 0;
    collectLeaves(*found->second, offset, leaves);
    return true;
}

void KDoc::collectLeaves(const KSignalRecord& record, std::uint32_t& offset,
                         std::vector<QueryLeaf>& leaves) const {
    if (record.children().empty()) {
        const std::size_t size = ::valueSize(m_types, record);
        const auto bytes = static_cast<std::uint32_t>(
            std::min<std::size_t>(size, std::numeric_limits<std::uint32_t>::max() - offset));
        leaves.push_back({record.handle(), offset, bytes});
        offset += bytes;
        return;
    }
    for (const KSignalRecordPtr& child : record.children())
        collectLeaves(*child, offset, leaves);
}

void KDoc::querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const {
    segments.clear();
    auto found = m_signals.find(leaf);
    if (found == m_signals.end())
        return;
    const KEventSegmentMap& map = found->second->segments();
    segments.reserve(map.size());
    for (const auto& [from, segment] : map)
        segments.push_back({segment.from(), segment.to(), segment.source(), segment.sourceSignal(),
                            segment.value()});
}
