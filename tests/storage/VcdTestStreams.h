#pragma once

// Test doubles of the event database's streams for the VCD tests: a sink that records every
// call, and a read stream that replays such a recording, so the importer and exporter can be
// tested without a database file.

#include "storage/evstream/IEventsStream.h"

#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vcdtest {

struct RecordedEvent {
    SimTime time;
    DeltaCycle delta;
    SignalHandle handle;
    std::vector<std::uint8_t> value;

    friend bool operator==(const RecordedEvent&, const RecordedEvent&) = default;
};

inline void PrintTo(const RecordedEvent& e, std::ostream* out) {
    *out << "{t=" << e.time << " d=" << e.delta << " h=" << e.handle << " size=" << e.value.size()
         << "}";
}

class RecordingStreamWrite : public evstream::IEventsStreamWrite {
public:
    std::vector<std::pair<SignalHandle, evstream::SignalInfo>> declarations;
    std::map<SignalHandle, std::string> typeStrings;
    std::vector<RecordedEvent> events;
    std::vector<std::string> calls; // order of the structural calls
    SimTime time = 0;
    DeltaCycle delta = 0;
    SimTime lastSetTime = kNoTime;

    // The recorded events of one signal, as (time, value bytes).
    std::vector<std::pair<SimTime, std::vector<std::uint8_t>>> eventsOf(SignalHandle h) const {
        std::vector<std::pair<SimTime, std::vector<std::uint8_t>>> result;
        for (const RecordedEvent& e : events)
            if (e.handle == h)
                result.emplace_back(e.time, e.value);
        return result;
    }
    SignalHandle handleOf(const std::string& name) const {
        for (const auto& [handle, info] : declarations)
            if (info.name == name)
                return handle;
        return kNoSignal;
    }

    // IEventsStreamWrite
    void AddRef() override {}
    bool Release() override { return true; }
    bool BeginDeclarations() override { return note("begin"); }
    bool EndDeclarations() override { return note("end"); }
    bool DeclareScalar(SignalHandle handle, const evstream::SignalInfo& info) override {
        declarations.emplace_back(handle, info);
        return note("scalar");
    }
    bool DeclareComposite(SignalHandle handle, const evstream::SignalInfo& info) override {
        declarations.emplace_back(handle, info);
        return note("composite");
    }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return note("annotation");
    }
    bool SetProperty(SignalHandle, std::string_view, std::string_view) override {
        return note("property");
    }
    bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) override {
        typeStrings[handle] = std::string(typeInfo);
        return note("type");
    }
    bool SetTime(const SimTime& t) override {
        if (t < time)
            return false;
        time = t;
        delta = 0;
        lastSetTime = t;
        return true;
    }
    const SimTime& GetTime() override { return time; }
    bool SetDelta(DeltaCycle d) override {
        delta = d;
        return true;
    }
    DeltaCycle GetDelta() override { return delta; }
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override {
        auto* bytes = static_cast<const std::uint8_t*>(value);
        events.push_back({time, delta, handle, {bytes, bytes + size}});
        return true;
    }
    std::string GetFileName() override { return "recording"; }

private:
    bool note(const char* call) {
        if (calls.empty() || calls.back() != call)
            calls.emplace_back(call);
        return true;
    }
};

// Replays a recording as a read stream of top-level scalars.
class ReplayStreamRead : public evstream::IEventsStreamRead {
public:
    explicit ReplayStreamRead(const RecordingStreamWrite& recording) : m_recording(recording) {
        m_end = recording.lastSetTime == kNoTime ? 0 : recording.lastSetTime;
    }

    // IEventsStreamRead
    void AddRef() override {}
    bool Release() override { return true; }
    int GetRootCount() override { return static_cast<int>(m_recording.declarations.size()); }
    SignalHandle GetChild(SignalHandle, int) override { return kNoSignal; }
    SignalHandle GetRoot(int index) override { return m_recording.declarations[index].first; }
    bool GetSignalInfo(SignalHandle handle, evstream::SignalInfo& info) override {
        for (const auto& [h, declared] : m_recording.declarations)
            if (h == handle) {
                info = declared;
                return true;
            }
        return false;
    }
    std::string GetProperty(SignalHandle, std::string_view) override { return {}; }
    std::string GetTypeInfoString(SignalHandle handle) override {
        auto found = m_recording.typeStrings.find(handle);
        return found == m_recording.typeStrings.end() ? std::string() : found->second;
    }
    int GetAnnotationCount(SignalHandle) override { return 0; }
    bool GetAnnotation(SignalHandle, int, evstream::Annotation&) override { return false; }
    bool Rewind(const SimTime&) override {
        m_next = 0;
        return true;
    }
    bool ReadNextEventOf(SignalHandle, void*) override { return false; }
    SimTime SkipTo(const SimTime&) override { return kNoTime; }
    const SimTime& GetTime() override { return m_time; }
    DeltaCycle GetDelta() override { return m_delta; }
    SignalHandle ReadNextEvent() override {
        if (m_next >= m_recording.events.size())
            return kNoSignal;
        m_current = &m_recording.events[m_next++];
        m_time = m_current->time;
        m_delta = m_current->delta;
        return m_current->handle;
    }
    bool GetValue(void* value) override {
        std::memcpy(value, m_current->value.data(), m_current->value.size());
        return true;
    }
    std::uint32_t GetValueSize() override {
        return static_cast<std::uint32_t>(m_current->value.size());
    }
    std::string GetFileName() override { return "replay"; }
    const SimTime& GetEndTime() override { return m_end; }
    bool Refresh() override { return true; }

private:
    const RecordingStreamWrite& m_recording;
    std::size_t m_next = 0;
    const RecordedEvent* m_current = nullptr;
    SimTime m_time = 0;
    SimTime m_end = 0;
    DeltaCycle m_delta = 0;
};

} // namespace vcdtest
