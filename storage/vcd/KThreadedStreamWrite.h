#pragma once

// An event sink that hands the events to another sink on a worker thread, so that parsing (on
// the caller's thread) overlaps with whatever the target does per event (encoding, compressing,
// writing). Declarations, properties and type strings pass straight through on the caller's
// thread; SetTime, SetDelta and WriteValue are packed into blocks that the worker replays in
// order. At most a few blocks are in flight, so memory stays bounded whatever the file's size.
// A failure of the target (a false result or an exception) is reported by the next call on the
// caller's side, or by finish(), as a KFileException.

#include "storage/evstream/IEventsStream.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class KThreadedStreamWrite : public evstream::IEventsStreamWrite {
public:
    explicit KThreadedStreamWrite(evstream::IEventsStreamWrite& target,
                                  std::size_t blockSize = 4u << 20, std::size_t blocksInFlight = 4);
    // Stops the worker; events not yet replayed are dropped unless finish() was called.
    ~KThreadedStreamWrite() override;

    // Waits until the worker has replayed every event; throws the target's failure if any.
    void finish();

    // IEventsStreamWrite
    void AddRef() override {}
    bool Release() override { return true; }
    bool BeginDeclarations() override { return m_target.BeginDeclarations(); }
    bool EndDeclarations() override { return m_target.EndDeclarations(); }
    bool DeclareScalar(SignalHandle handle, const evstream::SignalInfo& info) override {
        return m_target.DeclareScalar(handle, info);
    }
    bool DeclareComposite(SignalHandle handle, const evstream::SignalInfo& info) override {
        return m_target.DeclareComposite(handle, info);
    }
    bool AddAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                       std::string_view text) override {
        return m_target.AddAnnotation(handle, time, key, text);
    }
    bool SetProperty(SignalHandle handle, std::string_view key, std::string_view value) override {
        return m_target.SetProperty(handle, key, value);
    }
    bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) override {
        return m_target.SetTypeInfoString(handle, typeInfo);
    }
    bool SetTime(const SimTime& time) override;
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override;
    DeltaCycle GetDelta() override { return m_delta; }
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override;
    std::string GetFileName() override { return m_target.GetFileName(); }

private:
    enum Op : std::uint8_t { OpTime, OpDelta, OpValue };

    void append(const void* bytes, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        m_block.insert(m_block.end(), p, p + size);
    }
    void reserve(std::size_t size);
    void handOver();
    void run();
    void replay(const std::vector<std::uint8_t>& block);

    evstream::IEventsStreamWrite& m_target;
    std::size_t m_blockSize;
    std::size_t m_blocksInFlight;
    std::vector<std::uint8_t> m_block;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<std::uint8_t>> m_queue;
    std::vector<std::vector<std::uint8_t>> m_spare;
    bool m_stopping = false;
    bool m_busy = false;
    std::exception_ptr m_failure;
    std::thread m_worker;
};
