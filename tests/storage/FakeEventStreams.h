#pragma once

// Fake database streams that log what they are asked and refuse the calls a test names, for
// observing reference counts and failures through the event handles.

#include "storage/evstream/EventStore.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

// What a fake stream was asked, kept outside it because the stream deletes itself.
struct StreamLog {
    int refs = 1;
    bool destroyed = false;
    std::string fileName = "fake.awf";
    std::vector<SimTime> rewinds;
    std::vector<std::string> calls;
    std::set<std::string> refusals; // operations that answer false
    bool refuses(const std::string& call) {
        calls.push_back(call);
        return refusals.count(call) != 0;
    }
};

// A read stream standing for a database stream: one event at time 5, end time 9.
class FakeReadStream final : public evstream::IEventsStreamRead {
public:
    explicit FakeReadStream(std::shared_ptr<StreamLog> log) : m_log(std::move(log)) {}
    void AddRef() override { ++m_log->refs; }
    bool Release() override {
        if (--m_log->refs == 0) {
            m_log->destroyed = true;
            delete this;
        }
        return true;
    }
    int GetRootCount() override { return 1; }
    SignalHandle GetChild(SignalHandle, int) override { return kNoSignal; }
    SignalHandle GetRoot(int) override { return 0; }
    bool GetSignalInfo(SignalHandle, evstream::SignalInfo&) override { return false; }
    std::string GetProperty(SignalHandle, std::string_view) override { return {}; }
    std::string GetTypeInfoString(SignalHandle) override { return "std_logic"; }
    int GetAnnotationCount(SignalHandle) override { return 0; }
    bool GetAnnotation(SignalHandle, int, evstream::Annotation&) override { return false; }
    bool Rewind(const SimTime& time) override {
        m_log->rewinds.push_back(time);
        return !m_log->refuses("Rewind");
    }
    bool ReadNextEventOf(SignalHandle, void*) override { return false; }
    SimTime SkipTo(const SimTime&) override { return kNoTime; }
    const SimTime& GetTime() override { return m_time; }
    DeltaCycle GetDelta() override { return 0; }
    SignalHandle ReadNextEvent() override { return kNoSignal; }
    bool GetValue(void*) override { return true; }
    std::uint32_t GetValueSize() override { return 0; }
    std::string GetFileName() override { return m_log->fileName; }
    const SimTime& GetEndTime() override { return m_endTime; }
    bool Refresh() override { return !m_log->refuses("Refresh"); }

private:
    ~FakeReadStream() override = default;
    std::shared_ptr<StreamLog> m_log;
    SimTime m_time = 5;
    SimTime m_endTime = 9;
};

// A write stream standing for a database file being written.
class FakeWriteStream final : public evstream::IEventsStreamWrite {
public:
    explicit FakeWriteStream(std::shared_ptr<StreamLog> log) : m_log(std::move(log)) {}
    void AddRef() override { ++m_log->refs; }
    bool Release() override {
        const bool ok = !m_log->refuses("Release");
        if (--m_log->refs == 0) {
            m_log->destroyed = true;
            delete this;
        }
        return ok;
    }
    bool BeginDeclarations() override { return !m_log->refuses("BeginDeclarations"); }
    bool EndDeclarations() override { return !m_log->refuses("EndDeclarations"); }
    bool DeclareScalar(SignalHandle, const evstream::SignalInfo&) override {
        return !m_log->refuses("DeclareScalar");
    }
    bool DeclareComposite(SignalHandle, const evstream::SignalInfo&) override {
        return !m_log->refuses("DeclareComposite");
    }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return !m_log->refuses("AddAnnotation");
    }
    bool SetProperty(SignalHandle, std::string_view key, std::string_view value) override {
        return !m_log->refuses("SetProperty " + std::string(key) + "=" + std::string(value));
    }
    bool SetTypeInfoString(SignalHandle, std::string_view) override {
        return !m_log->refuses("SetTypeInfoString");
    }
    bool SetTime(const SimTime& time) override {
        m_time = time;
        return !m_log->refuses("SetTime");
    }
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle) override { return !m_log->refuses("SetDelta"); }
    DeltaCycle GetDelta() override { return 0; }
    bool WriteValue(SignalHandle, const void*, std::uint32_t) override {
        return !m_log->refuses("WriteValue");
    }
    std::string GetFileName() override { return m_log->fileName; }

private:
    ~FakeWriteStream() override = default;
    std::shared_ptr<StreamLog> m_log;
    SimTime m_time = 0;
};
