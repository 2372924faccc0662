// Feeds arbitrary bytes to the VCD importer: it must either import them or throw
// KFileException, never crash, and what it writes must keep the sink's rules (declared handles,
// ascending times, values of the declared size). The chunk size must not change the outcome: the
// same events and the same error, whether a record sits inside a chunk or across two, and
// whether the input is read ahead on another thread or not, nor which of the line parser's
// builds (SSE2, AVX2, AVX-512) runs.

#include "storage/KFileException.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdType.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
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
        note(&time, sizeof time);
        return true;
    }
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override {
        if (delta <= m_delta)
            std::abort();
        m_delta = delta;
        note(&delta, sizeof delta);
        return true;
    }
    DeltaCycle GetDelta() override { return m_delta; }
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override {
        auto found = m_sizes.find(handle);
        if (found == m_sizes.end() || found->second != size)
            std::abort();
        note(&handle, sizeof handle);
        note(value, size);
        return true;
    }
    std::string GetFileName() override { return "sink"; }

    // Everything written, in order.
    std::string written;

private:
    void note(const void* bytes, std::size_t size) {
        written.append(static_cast<const char*>(bytes), size);
    }

    std::map<SignalHandle, std::uint32_t> m_sizes;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Small chunks so that tokens cross buffer boundaries often; read ahead on another thread,
    // where the end of a chunk is carried over to the next one differently.
    struct Run {
        std::size_t chunk;
        bool ahead;
        KVcdReader::Simd simd;
    };
    using Simd = KVcdReader::Simd;
    std::string outcome[6];
    std::size_t run = 0;
    for (Run how : {Run{64, false, Simd::Avx512Vbmi2}, Run{4096, false, Simd::Avx512Vbmi2},
                    Run{64, true, Simd::Avx512Vbmi2}, Run{4096, false, Simd::Avx512},
                    Run{4096, false, Simd::Avx2}, Run{4096, false, Simd::Sse2}}) {
        CheckingSink sink;
        std::string error;
        KVcdReader::setSimdLimit(how.simd);
        try {
            KVcdReader reader("fuzz.vcd", text, how.chunk);
            reader.setReadAhead(how.ahead);
            reader.importInto(sink);
        } catch (const KFileException& exception) {
            error = exception.message();
        }
        outcome[run++] = error + '\n' + sink.written;
    }
    KVcdReader::setSimdLimit(Simd::Avx512Vbmi2);
    for (std::size_t other : {1, 2, 3, 4, 5}) {
        if (outcome[0] != outcome[other]) {
            std::fprintf(stderr, "chunk 64: %s\nrun %zu: %s\n", outcome[0].substr(0, 200).c_str(),
                         other, outcome[other].substr(0, 200).c_str());
            std::abort();
        }
    }
    return 0;
}
