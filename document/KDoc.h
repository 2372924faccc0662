#pragma once

// The document of one waveform window: its signals, their order on screen, the hierarchy and
// name tables, the drawn items, and the broadcasting of what changed.
//
// Signals live in one map from document handle to shared record; buses and records also hold
// their elements as children, and each element is in the map under its own handle. Handles are
// the document's own numbering: records added with handle 0 get the next number from 1 up, the
// synthetic handles of simulator buses count down from -2, and -1 answers a placeholder record.
// The rows are the top-level handles in display order.
//
// Two name indexes map a signal's full name (hierarchy text followed by name) to its handle, one
// exact and one upper-cased; every operation that adds, removes or renames a signal keeps them
// current.
//
// Every change is announced to the views through IViewSynchronizer with an UpdateHint code (the
// document sends as sender null). The document never shows anything itself; it tells its host
// (IDocHost) and the host decides.

#include "document/IDocHost.h"
#include "document/IEventsEditor.h"
#include "document/IUndo.h"
#include "document/KAddedSignals.h"
#include "document/KHierarchyTable.h"
#include "document/KItemUI.h"
#include "document/KSignalRecord.h"
#include "document/KSignalsSet.h"
#include "document/KViewSynchronizer.h"
#include "storage/KTypesManager.h"
#include "storage/query/IEventSources.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Whether ending a change tells the host that the document is modified.
enum class HostNotice { None, SetModified };

class KWVUndoItem;
struct KUndoRing;

class KDoc final : public IViewSynchronizer,
                   public IEventSources,
                   public IEventsEditor,
                   public IUndo {
public:
    using SignalMap = std::map<SignalHandle, KSignalRecordPtr>;
    using TypeIndex = KSignalRecord::TypeIndex;

    // Without a host the document uses a quiet one.
    explicit KDoc(IDocHost* host = nullptr);
    ~KDoc() override;
    KDoc(const KDoc&) = delete;
    KDoc& operator=(const KDoc&) = delete;

    IDocHost& host() const { return *m_host; }
    void setHost(IDocHost* host);

    // Lifecycle. A new document has no signals, no rows and no items.
    bool newDocument();
    bool isInitialised() const { return m_initialised; }
    void setInitialised() { m_initialised = true; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    // The waveform file (KDocFile.cpp).
    // Loads a .awf file into this empty document; false when it cannot be read or is damaged.
    bool openDocument(const std::string& path);
    // Why the last openDocument failed, when the file itself said (damage, a foreign or older
    // format); empty otherwise.
    const std::string& openError() const { return m_openError; }
    // Writes the document into a new temporary file, moves every saved signal onto it and puts
    // a copy at `path`, replacing what was there only when the copy is complete. False when the
    // user cancels or the file cannot be written (the host is told why); `path` is then as it
    // was.
    bool saveDocument(const std::string& path);
    // Replaces the segments of every saved signal without elements by one segment over `path`
    // (the same span, reading its own handle there), or by nothing when `path` is empty.
    void rebaseOnto(const std::string& path);
    // Writes the waveforms into a new registered temporary file and answers its path; the
    // document stays as it is. When the file cannot be made or written the host is asked
    // whether to try again with a new name (62110, naming the temporary folder); after No the
    // answer is empty.
    std::string saveToTemporary();
    // The waveforms written into a new registered temporary file, its path returned; throws
    // KFileException (and leaves no file) when the file cannot be made or written.
    std::string writeTemporaryFile() const;
    // The temporary file the waveforms come from since the last save; empty before one.
    const std::string& temporaryFile() const { return m_temporaryFile; }
    // The file a converted document was made from: saving under it asks first.
    const std::string& convertedFrom() const { return m_convertedFrom; }
    void setConvertedFrom(std::string path) { m_convertedFrom = std::move(path); }
    // While a simulation runs, events after this time are not saved; kNoTime: no limit.
    void setSaveLimit(SimTime limit) { m_saveLimit = limit; }

    // Signals (KDoc.cpp).
    // The record of a handle; the placeholder for -1; null for a handle the document lacks.
    KSignalRecordPtr record(SignalHandle handle) const;
    bool contains(SignalHandle handle) const { return m_signals.count(handle) != 0; }
    const SignalMap& signals() const { return m_signals; }
    // Enters a record: handle 0 gets the next handle; a given handle must be free. With a parent
    // the record becomes the parent's last child. Returns the handle, or 0 when refused (handle
    // taken, unknown parent). Broadcasts nothing: whoever adds signals announces them.
    SignalHandle addRecord(const KSignalRecordPtr& record, SignalHandle parent = 0);
    // The next synthetic handle of a simulator bus: -2, -3, ...
    SignalHandle nextBusHandle() { return m_nextBusHandle--; }
    // Removes signals with all their descendants from the map, the rows, their parents and the
    // name indexes; broadcasts SignalsAddedRemoved with every removed handle. Returns the removed
    // records (parents before their children) so that an undo can keep them.
    std::vector<KSignalRecordPtr> removeSignals(const KSignalsSet& handles);
    // The handle followed by all its descendants, depth first; empty for an unknown handle.
    std::vector<SignalHandle> collect(SignalHandle handle) const;
    // The largest time any segment of any signal covers; kNoTime when there is none.
    SimTime endTime() const;

    // Rows (KDoc.cpp): top-level handles in display order.
    const std::vector<SignalHandle>& rows() const { return m_rows; }
    std::size_t rowCount() const { return m_rows.size(); }
    std::optional<std::size_t> rowOf(SignalHandle handle) const;
    // Inserts top-level signals at `position` (clamped to the end). Refused (false, nothing
    // changes) when a handle is unknown, not top-level, already a row or given twice.
    bool insertRows(std::size_t position, std::span<const SignalHandle> handles);
    void removeRows(std::span<const SignalHandle> handles);
    // Moves rows [first, first + count) so that they start at `to` in the result.
    bool moveRows(std::size_t first, std::size_t count, std::size_t to);

    // Names (KDocNames.cpp).
    KHierarchyTable& hierarchy() { return m_hierarchy; }
    const KHierarchyTable& hierarchy() const { return m_hierarchy; }
    const std::string& hierarchyText(std::uint32_t index) const { return m_hierarchy.text(index); }
    // Sets a record's hierarchy index; broadcasts ListChanged. False for an unknown handle or
    // an index the table lacks.
    bool setHierarchyIndex(SignalHandle handle, std::uint32_t index);
    std::string fullName(SignalHandle handle) const;
    // The handle of a full name, exact or compared upper-cased; 0 when none.
    SignalHandle findByName(std::string_view fullName) const;
    SignalHandle findByUpperName(std::string_view fullName) const;
    void rebuildNameIndex();
    // Renames a signal and, by the element rule, all elements below it; broadcasts NamesChanged
    // with every renamed handle. Members of a virtual bus keep their names.
    bool rename(SignalHandle handle, std::string name);
    // Makes the full name of a signal its name (hierarchy index 0), renaming its elements to
    // match, as a member of a virtual bus is named; full names do not change. Broadcasts
    // NamesChanged when something was renamed.
    bool useFullNameAsName(SignalHandle handle);
    // A name is a design path for a top-level signal that is no virtual bus, and for a member of
    // a virtual bus.
    bool isDesignPath(SignalHandle handle) const;
    // The declaration text of a signal (by its mode and type), or "Virtual Bus".
    std::string declaration(SignalHandle handle) const;
    // `name` while no signal has it as full name, else the first free "COPY_(n)_OF_" form.
    std::string uniqueCopyName(std::string name) const;
    static std::string comparisonName(std::string_view name) { return "COMP " + std::string(name); }
    // "VBUS" and the smallest number from 1 that no signal has as name.
    std::string newVirtualBusName() const;

    // Types (KDocTypes.cpp).
    KTypesManager& types() { return m_types; }
    const KTypesManager& types() const { return m_types; }
    // Gives a record a type index (0: none). A shape the type does not allow falls back to 0.
    // False for an unknown handle or an index the types manager lacks.
    bool setTypeInfo(SignalHandle handle, TypeIndex index);
    // Makes the element records of a bus or record signal from its type (recursively, named by
    // the element rule, with the parent's hierarchy and mode). False when the signal already has
    // children, has no composite type or has too many elements. Broadcasts nothing.
    bool createElements(SignalHandle handle);
    // Bytes of the signal's whole value: the sum of its leaves' sizes.
    std::size_t valueSize(SignalHandle handle) const;

    // Stimulators: broadcasts StimulatorChanged.
    bool setStimulator(SignalHandle handle, std::string text);

    // Items (KDocItems.cpp); each change broadcasts ItemChanged with the item.
    // Takes the item; refused (and the item deleted) when a signal it lies on is not held. Inside
    // an undo item the addition is recorded.
    bool addItem(std::unique_ptr<KItemUI> item);
    // Hands the item back to the caller; null when the document does not hold it.
    std::unique_ptr<KItemUI> removeItem(const KItemUI* item);
    // Removes and deletes an item; inside an undo item the item is kept there for undo.
    bool deleteItem(const KItemUI* item);
    // Announces a change the caller made to an item the document holds.
    bool changeItem(const KItemUI* item);
    const std::vector<std::unique_ptr<KItemUI>>& items() const { return m_items; }
    // After the waveforms of `changed` changed (KDocMeasurements.cpp): each measurement end on
    // such a signal (or on a bus holding one, or an element of one) stays on a change at its
    // time, or moves to the signal's nearest change, the earlier on a tie. A measurement whose
    // ends meet, or whose signal has no change left, is taken out. Broadcasts ItemChanged for
    // every item moved or taken out; returns the ones taken out, so that an undo can keep them.
    std::vector<std::unique_ptr<KItemUI>> updateMeasurements(const KSignalsSet& changed);

    // Changes of waveforms: editing operations collect the handles they change, and ending the
    // change broadcasts WavesChanged with them (when there are any).
    std::unique_ptr<KAddedSignals> openChange() const;
    void endChange(std::unique_ptr<KAddedSignals> change, HostNotice notice);

    // Broadcasting with the document as sender.
    void broadcast(UpdateHint code, const KHintObject* object = nullptr);

    // IViewSynchronizer
    void synchronize(const IUpdateObserver* sender, UpdateHint code,
                     const KHintObject* object) override;
    void addObserver(IUpdateObserver* observer) override;
    void removeObserver(IUpdateObserver* observer) override;

    // IEventSources (KDocQuery.cpp): a signal with elements reads as its leaves, each at the byte
    // offset its place in the element order gives it.
    bool queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const override;
    void querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const override;

    // IEventsEditor (KDocEdit.cpp)
    bool putEvents(const KEditEventsSource& source, std::span<const SignalHandle> targets,
                   SimTime start, SimTime end, PutForm form) override;
    bool deleteTime(const KSignalsSet& handles, SimTime start, SimTime length) override;
    bool clearSignal(SignalHandle handle) override;

    // Permission to edit [start, end) of signals (KDocEdit.cpp). The silent forms only answer;
    // checkEdit also tells the host's status pane why it refuses.
    bool canEdit(std::span<const SignalHandle> handles, SimTime start, SimTime end) const;
    bool canEdit(SignalHandle handle, SimTime start, SimTime end) const;
    bool checkEdit(SignalHandle handle, SimTime start, SimTime end);
    // While connected to a running simulation, results from `resultsTime` up to `currentTime`
    // cannot be edited.
    void setSimulation(bool running, SimTime resultsTime, SimTime currentTime);
    bool isSimulationRunning() const { return m_simulationRunning; }
    SimTime currentSimulationTime() const { return m_currentSimulationTime; }
    // Whether edits of the modes push the waveform later instead of overwriting it.
    bool insertMode() const { return m_insertMode; }
    void setInsertMode(bool on) { m_insertMode = on; }

    // IUndo (KDocUndo.cpp)
    void undo() override;
    bool canUndo() const override;
    void redo() override;
    bool canRedo() const override;
    void beginItem() override;
    void commitItem() override;
    void cancelItem() override;
    void clearUndo() override;
    // The item being recorded; null outside begin and commit.
    KWVUndoItem* currentItem() const;

    // What undo items restore (KDocUndo.cpp): a record entered or taken out as it stands (handle,
    // parent and children untouched), and the whole row order.
    void enterRecord(const KSignalRecordPtr& record);
    void takeOutRecord(SignalHandle handle);
    void setRows(std::vector<SignalHandle> rows) { m_rows = std::move(rows); }

private:
    bool hasAncestorIn(SignalHandle handle, const KSignalsSet& set) const;
    void collectLeaves(const KSignalRecord& record, std::uint32_t& offset,
                       std::vector<QueryLeaf>& leaves) const;
    void indexName(const KSignalRecord& record);
    void unindexName(const KSignalRecord& record);
    std::string fullName(const KSignalRecord& record) const;
    void renameTree(KSignalRecord& record, std::string name, KSignalsSet& renamed);
    void collectInto(const KSignalRecord& record, std::vector<SignalHandle>& out) const;
    void createElementsOf(const KSignalRecordPtr& parent);

    IDocHost* m_host;
    KQuietDocHost m_quietHost;
    KViewSynchronizer m_synchronizer;
    bool m_initialised = false;
    bool m_modified = false;

    SignalMap m_signals;
    SignalHandle m_nextHandle = 1;
    SignalHandle m_nextBusHandle = -2;
    KSignalRecordPtr m_placeholder;
    std::vector<SignalHandle> m_rows;
    KHierarchyTable m_hierarchy;
    std::multimap<std::string, SignalHandle> m_byName;
    std::multimap<std::string, SignalHandle> m_byUpperName;
    KTypesManager m_types;
    std::vector<std::unique_ptr<KItemUI>> m_items;
    std::string m_temporaryFile;
    std::string m_convertedFrom;
    std::string m_openError;
    SimTime m_saveLimit = kNoTime;
    std::unique_ptr<KUndoRing> m_undo;
    bool m_insertMode = false;
    bool m_simulationRunning = false;
    SimTime m_resultsTime = 0;
    SimTime m_currentSimulationTime = 0;
};
