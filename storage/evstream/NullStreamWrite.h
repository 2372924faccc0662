#pragma once

// A write stream that accepts everything and keeps only the current time and delta: the base of
// sinks that look at a stream of events without storing it (counting changes, measuring a
// parser alone). Subclasses override WriteValue, and the other calls they care about.
//
// One reference at creation; Release deletes the stream when it was made with `new` and asked
// to (ownedByHandle), as a stream adopted by a KEventsWriteHandle is.

#include "storage/evstream/IEventsStream.h"

#include <string>

namespace evstream {

class NullStreamWrite : public IEventsStreamWrite {
public:
    explicit NullStreamWrite(bool deleteOnRelease = false) : m_deleteOnRelease(deleteOnRelease) {}

    void AddRef() override { ++m_refs; }
    bool Release() override {
        if (--m_refs == 0 && m_deleteOnRelease)
            delete this;
        return true;
    }
    bool BeginDeclarations() override { return true; }
    bool EndDeclarations() override { return true; }
    bool DeclareScalar(SignalHandle, const SignalInfo&) override { return true; }
    bool DeclareComposite(SignalHandle, const SignalInfo&) override { return true; }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return true;
    }
    bool SetProperty(SignalHandle, std::string_view, std::string_view) override { return true; }
    bool SetTypeInfoString(SignalHandle, std::string_view) override { return true; }
    bool SetTime(const SimTime& time) override {
        m_time = time;
        m_delta = 0;
        return true;
    }
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override {
        m_delta = delta;
        return true;
    }
    DeltaCycle GetDelta() override { return m_delta; }
    bool WriteValue(SignalHandle, const void*, std::uint32_t) override { return true; }
    std::string GetFileName() override { return "(nowhere)"; }

private:
    int m_refs = 1;
    bool m_deleteOnRelease;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
};

} // namespace evstream
