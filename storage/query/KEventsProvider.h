#pragma once

// The base of every events provider: the callback contract of an event query.
//
// A provider names the signals it wants (addSignal) and a start time (at construction), then
// run() calls it back: OnStartValue or OnNoStartValue once per signal, then OnEvent for each
// later change of one signal after another until it answers false (see KQueryEngine for the
// order and the merging of close events). Concrete providers collect, search or transform what
// they are given.

#include "storage/KValuePins.h"
#include "storage/query/IEventSources.h"
#include "storage/query/KEventRecord.h"
#include "storage/query/KQueryEngine.h"

#include <memory>
#include <utility>
#include <vector>

class KEventsProvider {
public:
    KEventsProvider(const IEventSources& sources, SimTime startTime);
    virtual ~KEventsProvider();
    KEventsProvider(const KEventsProvider&) = delete;
    KEventsProvider& operator=(const KEventsProvider&) = delete;

    // The value in force at the start time; `atStart` when its event lies exactly there.
    virtual void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart);
    // The signal has no value at the start time.
    virtual void OnNoStartValue(SignalHandle handle);
    // One change after the start time; true to go on with this signal, false to stop it.
    virtual bool OnEvent(SignalHandle handle, const KEventRecord& record);
    // OnEvent with a record the engine is done with: a provider that keeps records takes it
    // instead of copying it. Calls OnEvent unless overridden.
    virtual bool OnMovedEvent(SignalHandle handle, KEventRecord&& record);

    // Requests a signal; the merge distance is in time (0: every event on its own).
    void addSignal(SignalHandle handle, SimTime mergeDistance = 0);
    // Folds dense stretches at the summary buckets of database files (see KQueryEngine); off by
    // default, for drawing.
    void setCoarseFolds(bool on) { m_engine.setCoarseFolds(on); }
    // Performs the query; throws KFileException when a source cannot be read.
    void run();

    SimTime startTime() const { return m_engine.startTime(); }
    const IEventSources& sources() const { return m_engine.sources(); }

    // Keeps alive, as long as the provider, what values delivered to it borrow from (a signal
    // summary, a decoded section): a provider may keep them with KEventRecord::keepBorrowing()
    // instead of copying. A record it is handed through OnMovedEvent may borrow as well.
    void pin(std::shared_ptr<const void> owner) { m_pins.pin(std::move(owner)); }
    KValuePins& valuePins() { return m_pins; }

protected:
    // Called once when a run has delivered everything (not when it throws).
    virtual void OnRunEnd();

private:
    KQueryEngine m_engine;
    KValuePins m_pins;
};
