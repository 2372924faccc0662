#include "document/KStretchApply.h"

#include "document/KDoc.h"
#include "document/KEditTransaction.h"
#include "document/KSignalsSet.h"
#include "document/KStretch.h"
#include "document/KUndoScope.h"

#include <algorithm>

KStretchApply::KStretchApply(KDoc& doc, KWVConfig& config, KFillSelection selection)
    : m_doc(doc), m_config(config), m_selection(std::move(selection)) {}

int KStretchApply::percentSetting() const {
    return m_config.integer(KIntegerId::StretchPercent);
}

KStretchOutcome KStretchApply::stretch(int percent) {
    const KStretch stretch(m_selection.start, m_selection.end);
    const std::optional<SimTime> newEnd = stretch.newEnd(percent);
    if (m_selection.signals.empty() || m_selection.start >= m_selection.end || !newEnd)
        return {};
    std::vector<std::vector<KTimedValue>> events;
    for (SignalHandle handle : m_selection.signals) {
        // A transaction that is never committed reads the range and changes nothing.
        const KEditTransaction reader(m_doc, handle, m_selection.start, m_selection.end,
                                      KEditTransaction::Start::KeepEvents);
        events.push_back(
            stretch.stretchEvents(reader.valueAt(m_selection.start), reader.events(), percent));
    }
    if (!write(events, *newEnd))
        return {};
    m_config.setInteger(KIntegerId::StretchPercent, percent);
    return {true, m_selection.start, *newEnd};
}

bool KStretchApply::write(const std::vector<std::vector<KTimedValue>>& events, SimTime newEnd) {
    const SimTime start = m_selection.start;
    const bool insert = m_doc.insertMode();
    const SimTime end = insert ? newEnd : std::max(m_selection.end, newEnd);
    // A refusal or a source that cannot be read leaves the document as it was.
    KUndoScope undo(m_doc);
    if (insert) {
        KSignalsSet handles;
        for (SignalHandle handle : m_selection.signals)
            handles.add(handle);
        if (!m_doc.deleteTime(handles, start, m_selection.end - start))
            return false;
    }
    // A range compressed to nothing in insert mode is only the deletion.
    if (end > start) {
        for (std::size_t i = 0; i < m_selection.signals.size(); ++i) {
            KEditTransaction transaction(m_doc, m_selection.signals[i], start, end);
            transaction.setEvents(events[i]);
            if (!transaction.commit(insert))
                return false;
        }
    }
    undo.commit();
    return true;
}
