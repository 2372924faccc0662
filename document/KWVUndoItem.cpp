#include "document/KWVUndoItem.h"

#include "document/KDoc.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

// The display fields a properties change may touch: everything but identity, names, place and
// waveform.
void assignProperties(KSignalRecord& to, const KSignalRecord& from) {
    to.setMode(from.mode());
    to.setColor(from.color());
    to.setHeight(from.height());
    to.setDrawingOffset(from.drawingOffset());
    to.setFlagsA(from.flagsA());
    to.setFlagsB(from.flagsB());
    to.setShape(from.shape());
    to.setAnalogRange(from.analogLow(), from.analogHigh());
    to.setTypeIndex(from.typeIndex());
    to.setStimulator(from.stimulator());
    to.setTraceIndex(from.traceIndex());
}

} // namespace

KWVUndoItem::KWVUndoItem(KDoc& doc) : m_doc(doc) {}

KWVUndoItem::~KWVUndoItem() = default;

void KWVUndoItem::saveSegments(SignalHandle handle) {
    for (SignalHandle h : m_doc.collect(handle)) {
        m_waves.add(h);
        if (m_saved.count(h) != 0)
            continue;
        const KSignalRecordPtr record = m_doc.record(h);
        m_saved.emplace(h, Saved{record, record->segments()});
    }
}

void KWVUndoItem::beginLayout(const std::vector<SignalHandle>& involved) {
    std::set<const KSignalRecord*> seen;
    m_pending.clear();
    const auto take = [&](const KSignalRecordPtr& record) {
        if (record && seen.insert(record.get()).second)
            m_pending.push_back(record);
    };
    for (SignalHandle handle : involved) {
        const KSignalRecordPtr record = m_doc.contains(handle) ? m_doc.record(handle) : nullptr;
        if (!record)
            continue;
        if (record->parent() != 0)
            take(m_doc.record(record->parent()));
        for (SignalHandle h : m_doc.collect(handle))
            take(m_doc.record(h));
    }
    Layout layout;
    layout.before = capture(m_pending);
    layout.rowsBefore = m_doc.rows();
    m_layouts.push_back(std::move(layout));
    m_layoutOpen = true;
}

void KWVUndoItem::endLayout(const std::vector<SignalHandle>& created) {
    if (!m_layoutOpen)
        return;
    m_layoutOpen = false;
    Layout& layout = m_layouts.back();
    std::set<const KSignalRecord*> seen;
    for (const KSignalRecordPtr& record : m_pending)
        seen.insert(record.get());
    for (SignalHandle handle : created) {
        for (SignalHandle h : m_doc.collect(handle)) {
            const KSignalRecordPtr record = m_doc.record(h);
            if (!seen.insert(record.get()).second)
                continue;
            m_pending.push_back(record);
            Placement absent;
            absent.record = record;
            layout.before.push_back(std::move(absent));
        }
    }
    layout.after = capture(m_pending);
    layout.rowsAfter = m_doc.rows();
    m_pending.clear();
    for (std::size_t i = 0; i < layout.before.size(); ++i)
        if (layout.before[i].inDocument != layout.after[i].inDocument)
            m_addedRemoved.add(layout.before[i].record->handle());
}

void KWVUndoItem::saveProperties(const KSignalRecordPtr& live, KSignalRecordPtr before,
                                 KSignalRecordPtr after) {
    m_waves.add(live->handle());
    m_properties.push_back({live, std::move(before), std::move(after)});
}

std::vector<KWVUndoItem::Placement>
KWVUndoItem::capture(const std::vector<KSignalRecordPtr>& records) const {
    std::vector<Placement> placements;
    placements.reserve(records.size());
    for (const KSignalRecordPtr& record : records) {
        Placement placement;
        placement.record = record;
        placement.parent = record->parent();
        placement.children = record->children();
        placement.name = record->name();
        placement.hierarchyIndex = record->hierarchyIndex();
        placement.parentNameLength = record->parentNameLength();
        placement.flagsA = record->flagsA();
        placement.inDocument =
            m_doc.contains(record->handle()) && m_doc.record(record->handle()) == record;
        placements.push_back(std::move(placement));
    }
    return placements;
}

void KWVUndoItem::apply(const std::vector<Placement>& from, const std::vector<Placement>& to,
                        const std::vector<SignalHandle>& rows) {
    KSignalsSet enteredOrLeft;
    for (std::size_t i = 0; i < to.size(); ++i) {
        const Placement& target = to[i];
        KSignalRecord& record = *target.record;
        if (from[i].inDocument && !target.inDocument) {
            m_doc.takeOutRecord(record.handle());
            enteredOrLeft.add(record.handle());
        }
        record.setParent(target.parent);
        record.children() = target.children;
        record.setName(target.name);
        record.setHierarchyIndex(target.hierarchyIndex);
        record.setParentNameLength(target.parentNameLength);
        record.setFlagsA(target.flagsA);
        if (!from[i].inDocument && target.inDocument) {
            m_doc.enterRecord(target.record);
            enteredOrLeft.add(record.handle());
        }
    }
    m_doc.setRows(rows);
    m_doc.rebuildNameIndex();
    if (!enteredOrLeft.empty())
        m_doc.broadcast(UpdateHint::SignalsAddedRemoved, &enteredOrLeft);
    else
        m_doc.broadcast(UpdateHint::ListChanged);
}

void KWVUndoItem::exchangeSegments() {
    for (auto& [handle, saved] : m_saved) {
        KEventSegmentMap current = saved.record->segments();
        saved.record->setSegments(std::move(saved.segments));
        saved.segments = std::move(current);
    }
}

void KWVUndoItem::broadcastChanges() const {
    if (!m_waves.empty())
        m_doc.broadcast(UpdateHint::WavesChanged, &m_waves);
    m_doc.setModified(true);
}

void KWVUndoItem::itemAdded(const KItemUI* item) {
    if (item)
        m_items.push_back({true, item, nullptr});
}

void KWVUndoItem::itemRemoved(std::unique_ptr<KItemUI> item) {
    if (item) {
        const KItemUI* raw = item.get();
        m_items.push_back({false, raw, std::move(item)});
    }
}

// Takes out of the document the items the action added (`added`) or those it removed (undone
// state of a redo), newest first.
void KWVUndoItem::takeItemsOut(bool added) {
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if (it->added == added && !it->held)
            it->held = m_doc.removeItem(it->item);
}

void KWVUndoItem::putItemsBack(bool added) {
    for (ItemChange& change : m_items)
        if (change.added == added && change.held)
            m_doc.addItem(std::move(change.held));
}

void KWVUndoItem::undo() {
    takeItemsOut(true);
    for (auto it = m_properties.rbegin(); it != m_properties.rend(); ++it)
        assignProperties(*it->live, *it->before);
    for (auto it = m_layouts.rbegin(); it != m_layouts.rend(); ++it)
        apply(it->after, it->before, it->rowsBefore);
    exchangeSegments();
    putItemsBack(false);
    broadcastChanges();
}

void KWVUndoItem::redo() {
    takeItemsOut(false);
    exchangeSegments();
    for (const Layout& layout : m_layouts)
        apply(layout.before, layout.after, layout.rowsAfter);
    for (const Properties& change : m_properties)
        assignProperties(*change.live, *change.after);
    putItemsBack(true);
    broadcastChanges();
}
