// Feeds arbitrary bytes to the VCD importer: it must either import them or throw
// KFileException, never crash, and what it writes must keep the sink's rules (declared handles,
// ascending times, values of the declared size).

#include "storage/KFileException.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdType.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string_view>

namespace {

class CheckingSink : public evstream::IEventsStreamWrite {
public:
    void AddRef() override {}
    bool Release() override { return true; }
    bool BeginDeclarations() override { return true; }
    bool EndDeclarations() override { return true; }
    bool DeclareScalar(SignalHandle handle, const evstream::SignalInfo&) override {
        m_sizes[handle] = 0;
        return true;
    }
    bool DeclareComposite(SignalHandle, const evstream::SignalInfo&) override { std::abort(); }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return true;
    }
    bool SetProperty(SignalHandle, std::string_view, std::string_view) override { return true; }
    bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) override {
        auto type = KVcdType::fromTypeInfoString(typeInfo);
        if (!type || m_sizes.count(handle) == 0)
            std::abort(); // the importer must only write types it can read back
        m_sizes[handle] = type->valueSize();
        return true;
    }
    bool SetTime(const SimTime& time) override {
        if (time < m_time || time < 0)
            std::abort();
        m_time = time;
        m_delta = 0;
        return true;
    }
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override {
        if (delta <= m_delta)
            std::abort();
        m_delta = delta;
        return true;
    }
    DeltaCycle GetDelta() override { return m_delta; }
    bool WriteValue(SignalHandle handle, const void*, std::uint32_t size) override {
        auto found = m_sizes.find(handle);
        if (found == m_sizes.end() || found->second != size)
            std::abort();
        return true;
    }
    std::string GetFileName() override { return "sink"; }

private:
    std::map<SignalHandle, std::uint32_t> m_sizes;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Small chunks so that tokens cross buffer boundaries often.
    for (std::size_t chunk : {std::size_t{64}, std::size_t{4096}}) {
        CheckingSink sink;
        try {
            KVcdReader("fuzz.vcd", text, chunk).importInto(sink);
        } catch (const KFileException&) {
        }
    }
    return 0;
}
