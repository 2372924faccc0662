// Imports arbitrary bytes that the VCD importer accepts into a real database file and reads
// that file back: every signal must hold the events, times, deltas and values the importer
// wrote to a plain sink. The importer writes changed bus values straight into the database's
// block log, the database packs and chains values by their kind, and a port sharing its net's
// identifier code reads back the net's events: any of these getting a value wrong shows here.
// The file is then exported as VCD and imported again, which must give every signal the same
// times and values once more. The parser's build, the writer thread and the kept write order
// are chosen by the input's size, so that a failing input reproduces alone.

#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/evstream/NullStreamWrite.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Small chunks: the importer's default of megabytes costs more than the input's import.
constexpr std::size_t kChunk = 4096;

// Each signal's events as "time.delta:" followed by the value's bytes.
using Events = std::map<SignalHandle, std::vector<std::string>>;

std::string event(SimTime time, DeltaCycle delta, const void* value, std::uint32_t size) {
    std::string text = std::to_string(time) + '.' + std::to_string(delta) + ':';
    text.append(static_cast<const char*>(value), size);
    return text;
}

class RecordingSink : public evstream::NullStreamWrite {
public:
    bool DeclareScalar(SignalHandle handle, const evstream::SignalInfo& info) override {
        m_sameEventsAs[handle] = info.sameEventsAs;
        m_names[handle] = info.name;
        return true;
    }
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override {
        m_events[handle].push_back(event(GetTime(), GetDelta(), value, size));
        return true;
    }

    // What a reader of the database must see: a signal declared with the same events as
    // another has that one's.
    Events expected() const {
        Events all = m_events;
        for (auto [handle, of] : m_sameEventsAs)
            if (of != kNoSignal && m_events.count(of) != 0)
                all[handle] = m_events.at(of);
        return all;
    }

    // The same by full name, each name with the sorted events of the signals so named, times
    // without deltas: after a trip through VCD, whose writer groups the variables by scope, two
    // may share a name, and times that rounded to one picosecond are one timestamp.
    std::map<std::string, std::vector<std::vector<std::string>>> byNameWithoutDeltas() const {
        Events all = expected();
        std::map<std::string, std::vector<std::vector<std::string>>> named;
        for (const auto& [handle, name] : m_names) {
            std::vector<std::string>& events = named[name].emplace_back(all[handle]);
            for (std::string& text : events)
                text.erase(text.find('.'), text.find(':') - text.find('.'));
        }
        for (auto& [name, signals] : named)
            std::sort(signals.begin(), signals.end());
        return named;
    }

private:
    Events m_events;
    std::map<SignalHandle, SignalHandle> m_sameEventsAs;
    std::map<SignalHandle, std::string> m_names;
};

Events readBack(const std::string& path) {
    evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(path);
    Events back;
    std::vector<char> value;
    stream->Rewind(0);
    for (SignalHandle handle; (handle = stream->ReadNextEvent()) != kNoSignal;) {
        value.resize(stream->GetValueSize());
        stream->GetValue(value.data());
        back[handle].push_back(event(stream->GetTime(), stream->GetDelta(), value.data(),
                                     static_cast<std::uint32_t>(value.size())));
    }
    stream->Release();
    return back;
}

[[noreturn]] void reportDifference(const Events& expected, const Events& back) {
    std::fprintf(stderr, "signals with events: %zu imported, %zu read back\n", expected.size(),
                 back.size());
    for (const auto& [handle, events] : expected) {
        auto found = back.find(handle);
        const std::vector<std::string> none;
        const std::vector<std::string>& read = found != back.end() ? found->second : none;
        if (read == events)
            continue;
        std::fprintf(stderr, "signal %d: %zu events imported, %zu read back\n",
                     static_cast<int>(handle), events.size(), read.size());
        for (std::size_t i = 0; i < events.size() && i < read.size(); ++i) {
            if (events[i] != read[i]) {
                std::fprintf(stderr, "first difference at event %zu (%s against %s)\n", i,
                             events[i].substr(0, events[i].find(':')).c_str(),
                             read[i].substr(0, read[i].find(':')).c_str());
                break;
            }
        }
        break;
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    RecordingSink sink;
    try {
        KVcdReader("fuzz.vcd", text, kChunk).importInto(sink);
    } catch (const KFileException&) {
        return 0; // the importer's own target checks its errors
    }

    using Simd = KVcdReader::Simd;
    constexpr Simd kBuilds[] = {Simd::Avx512Vbmi2, Simd::Avx2, Simd::Sse2};
    KVcdReader::setSimdLimit(kBuilds[size % 3]);
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("tessel-fuzz-vcd-" + std::to_string(::getpid()) + ".awf"))
                                        .string();
    evstream::IEventsStreamWrite* stream = evstream::OpenStreamWrite(path);
    evstream::SetWriterThread(stream, (size / 3) % 2 != 0);
    evstream::SetWriteOrderKept(stream, (size / 6) % 2 != 0);
    try {
        KVcdReader("fuzz.vcd", text, kChunk).importInto(*stream);
    } catch (const KFileException& exception) {
        std::fprintf(stderr, "the plain sink took it, the database did not: %s\n",
                     exception.message().c_str());
        std::abort();
    }
    KVcdReader::setSimdLimit(Simd::Avx512Vbmi2);
    if (!stream->Release())
        std::abort();
    Events back = readBack(path);
    Events expected = sink.expected();
    if (back != expected)
        reportDifference(expected, back);

    const std::string exported = path + ".vcd";
    evstream::IEventsStreamRead* read = evstream::OpenStreamRead(path);
    KVcdWriter().write(*read, exported);
    read->Release();
    RecordingSink again;
    KVcdReader(exported, kChunk).importInto(again);
    ::unlink(exported.c_str());
    ::unlink(path.c_str());
    auto before = sink.byNameWithoutDeltas();
    auto after = again.byNameWithoutDeltas();
    if (before != after) {
        for (const auto& [name, signals] : before)
            if (after[name] != signals)
                std::fprintf(stderr, "after a trip through VCD, %s differs\n", name.c_str());
        std::abort();
    }
    return 0;
}
