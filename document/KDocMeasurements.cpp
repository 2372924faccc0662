#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "storage/query/KNextEventProvider.h"
#include "storage/query/KPreviousEventProvider.h"

#include <limits>
#include <optional>

namespace {

// Whether a change of one of `changed` changes what `handle` shows: the signal itself, an
// element below it or a bus above it.
bool touches(const KDoc& doc, SignalHandle handle, const KSignalsSet& changed) {
    for (SignalHandle inside : doc.collect(handle))
        if (changed.contains(inside))
            return true;
    for (KSignalRecordPtr up = doc.record(handle); up && up->parent() != 0;
         up = doc.record(up->parent()))
        if (changed.contains(up->parent()))
            return true;
    return false;
}

// The change of the signal at `time` when there is one, else its nearest change (the earlier
// one when both lie as far); none when the signal has no change at all.
std::optional<SimTime> fitToEvent(const KDoc& doc, SignalHandle handle, SimTime time) {
    const SimTime after = time < std::numeric_limits<SimTime>::max() ? time + 1 : time;
    KPreviousEventProvider previous(doc, 0, after);
    previous.addSignal(handle);
    previous.run();
    if (previous.found() && previous.time() == time)
        return time;
    KNextEventProvider next(doc, time);
    next.addSignal(handle);
    next.run();
    if (!next.found())
        return previous.found() ? std::optional(previous.time()) : std::nullopt;
    if (!previous.found() || next.time() - time < time - previous.time())
        return next.time();
    return previous.time();
}

} // namespace

std::vector<std::unique_ptr<KItemUI>> KDoc::updateMeasurements(const KSignalsSet& changed) {
    std::vector<const KItemUI*> moved;
    std::vector<const KItemUI*> broken;
    for (const std::unique_ptr<KItemUI>& item : m_items) {
        if (item->kind() != KItemUI::Kind::Measurement)
            continue;
        auto& extent = static_cast<KEventsExtent&>(*item);
        const bool startTouched = touches(*this, extent.signal(), changed);
        const bool endTouched = touches(*this, extent.endSignal(), changed);
        if (!startTouched && !endTouched)
            continue;
        const std::optional<SimTime> start =
            startTouched ? fitToEvent(*this, extent.signal(), extent.startTime())
                         : std::optional(extent.startTime());
        const std::optional<SimTime> end =
            endTouched ? fitToEvent(*this, extent.endSignal(), extent.endTime())
                       : std::optional(extent.endTime());
        if (!start || !end || *start == *end) {
            broken.push_back(item.get());
        } else if (*start != extent.startTime() || *end != extent.endTime()) {
            extent.setEnds(*start, *end);
            moved.push_back(item.get());
        }
    }
    for (const KItemUI* item : moved)
        changeItem(item);
    std::vector<std::unique_ptr<KItemUI>> removed;
    for (const KItemUI* item : broken)
        removed.push_back(removeItem(item));
    return removed;
}
