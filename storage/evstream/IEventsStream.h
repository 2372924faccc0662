#pragma once

// The two stream interfaces of the event database: every event source the program reads (a
// database file, a simulation that is still being written, an in-memory stream of edited events)
// is an IEventsStreamRead, and every sink an IEventsStreamWrite.
//
// Streams are reference counted by hand (AddRef/Release) because the database hands them out
// with one reference; the rest of the program only ever holds them through KEventsReadHandle and
// KEventsWriteHandle, which do the counting. A stream is used from one thread at a time.

#include "storage/SimTime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace evstream {

// How a signal was declared: the answer of GetSignalInfo and the arguments of the declarations.
struct SignalInfo {
    std::string name;
    SignalHandle parent = kNoSignal;
    int index = 0; // element index inside the parent, 0 for top-level signals
    int mode = 0;  // the document's mode code 0..7
    bool isComposite = false;
    int childCount = 0;
    SimTime endTime = kNoTime; // end of the signal's waveform, -1 when the file gives none
    // A scalar whose events are exactly those of another, earlier declared scalar (a port and
    // the signal it is connected to, one VCD identifier shared by several variables): its events
    // are stored once and never written for this handle.
    SignalHandle sameEventsAs = kNoSignal;
};

// One annotation of a signal (a comment or a measurement, told apart by key).
struct Annotation {
    SimTime time = 0;
    std::string key;
    std::string text;
};

class IEventsStreamRead {
public:
    virtual void AddRef() = 0;
    // Drops one reference; the last one destroys the stream. False reports a failure.
    virtual bool Release() = 0;

    // The signal tree.
    virtual int GetRootCount() = 0;
    virtual SignalHandle GetChild(SignalHandle parent, int index) = 0;
    virtual SignalHandle GetRoot(int index) = 0;
    virtual bool GetSignalInfo(SignalHandle handle, SignalInfo& info) = 0;
    virtual std::string GetProperty(SignalHandle handle, std::string_view key) = 0;
    virtual std::string GetTypeInfoString(SignalHandle handle) = 0;
    virtual int GetAnnotationCount(SignalHandle handle) = 0;
    virtual bool GetAnnotation(SignalHandle handle, int index, Annotation& annotation) = 0;

    // Reading in (time, delta) order. Rewind positions the stream so that the next
    // ReadNextEvent returns the first event at or after `time` (a stream may start earlier, at
    // its nearest milestone; callers skip forward themselves).
    virtual bool Rewind(const SimTime& time) = 0;
    // Reads the next event of one signal, copying its value into `value`; false when none is left.
    virtual bool ReadNextEventOf(SignalHandle handle, void* value) = 0;
    // Moves forward past every event before `time` without reading; returns the time of the next
    // event (at or after `time`), or -1 when none is left.
    virtual SimTime SkipTo(const SimTime& time) = 0;
    virtual const SimTime& GetTime() = 0;
    virtual DeltaCycle GetDelta() = 0;
    // Reads the next event; returns its signal, or -1 at the end of the events.
    virtual SignalHandle ReadNextEvent() = 0;
    // Copies the value of the event last read into `value` (GetValueSize() bytes).
    virtual bool GetValue(void* value) = 0;
    virtual std::uint32_t GetValueSize() = 0;

    virtual std::string GetFileName() = 0;
    virtual const SimTime& GetEndTime() = 0;
    // Makes data appended by a writer since opening visible; false when the source cannot.
    virtual bool Refresh() = 0;

protected:
    virtual ~IEventsStreamRead() = default;
};

class IEventsStreamWrite {
public:
    virtual void AddRef() = 0;
    // Drops one reference; the last one closes and destroys the stream. False reports a failure
    // (for a file: the data could not be completed on disk).
    virtual bool Release() = 0;

    virtual bool BeginDeclarations() = 0;
    virtual bool EndDeclarations() = 0;
    virtual bool DeclareScalar(SignalHandle handle, const SignalInfo& info) = 0;
    // info.childCount gives the element count; the elements are declared after it.
    virtual bool DeclareComposite(SignalHandle handle, const SignalInfo& info) = 0;
    virtual bool AddAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                               std::string_view text) = 0;
    virtual bool SetProperty(SignalHandle handle, std::string_view key, std::string_view value) = 0;
    virtual bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) = 0;

    // Events in ascending (time, delta) order: SetTime resets the delta to 0.
    virtual bool SetTime(const SimTime& time) = 0;
    virtual const SimTime& GetTime() = 0;
    virtual bool SetDelta(DeltaCycle delta) = 0;
    virtual DeltaCycle GetDelta() = 0;
    virtual bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) = 0;

    virtual std::string GetFileName() = 0;

protected:
    virtual ~IEventsStreamWrite() = default;
};

} // namespace evstream
