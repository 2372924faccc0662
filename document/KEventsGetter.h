#pragma once

// The events of existing signals as the new events of an edit: target i receives the events of
// source signal i over the range, read through that signal's segments in any event sources (this
// document, a clipboard document, a comparison file).
//
// Reading goes through the store-events query, so the copy is exactly what the query engine shows
// (segments, offsets, the value in force at the range's start), and the events land in the new
// stream under the source leaves' own handles; streamSignal maps each target leaf to the source
// leaf at the same place.

#include "document/IEventsEditor.h"
#include "storage/query/IEventSources.h"

#include <vector>

class KEventsGetter final : public KEditEventsSource {
public:
    // `sources` must outlive the getter; each source signal must have the leaf layout of its
    // target.
    KEventsGetter(const IEventSources& sources, std::vector<SignalHandle> sourceSignals);

    // KEditEventsSource
    void writeEvents(KEventsWriteHandle& sink, std::span<const SignalHandle> targets, SimTime start,
                     SimTime end) const override;
    SignalHandle streamSignal(std::size_t target, std::size_t leafIndex,
                              SignalHandle leaf) const override;

private:
    const IEventSources& m_sources;
    std::vector<SignalHandle> m_sourceSignals;
    std::vector<std::vector<QueryLeaf>> m_leaves;
};
