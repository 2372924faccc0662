#include "EventStoreTestUtil.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace evstream::test {

TempFile::TempFile() {
    static std::atomic<int> counter{0};
    m_path = (std::filesystem::temp_directory_path() / ("tessel-awf-" + std::to_string(::getpid()) +
                                                        "-" + std::to_string(counter++) + ".awf"))
                 .string();
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

bool writeEvents(IEventsStreamWrite* stream, const std::vector<Event>& events) {
    bool first = true;
    EventKey last;
    for (const Event& e : events) {
        if (first || e.time != last.time) {
            if (!stream->SetTime(e.time))
                return false;
        }
        if (e.delta != stream->GetDelta() && !stream->SetDelta(e.delta))
            return false;
        if (!stream->WriteValue(e.handle, e.value.data(), std::uint32_t(e.value.size())))
            return false;
        first = false;
        last = EventKey{e.time, e.delta};
    }
    return true;
}

void declareScalars(IEventsStreamWrite* stream, int count) {
    for (int i = 0; i < count; ++i) {
        SignalInfo info;
        info.name = "s" + std::to_string(i);
        stream->DeclareScalar(i, info);
    }
}

std::vector<Event> readAll(IEventsStreamRead* stream) {
    std::vector<Event> events;
    stream->Rewind(INT64_MIN);
    for (SignalHandle h = stream->ReadNextEvent(); h != kNoSignal; h = stream->ReadNextEvent()) {
        Event e;
        e.time = stream->GetTime();
        e.delta = stream->GetDelta();
        e.handle = h;
        e.value.resize(stream->GetValueSize());
        stream->GetValue(e.value.data());
        events.push_back(std::move(e));
    }
    return events;
}

IEventsStreamWrite* openWithScalars(const std::string& path, int count) {
    IEventsStreamWrite* stream = OpenStreamWrite(path);
    EXPECT_TRUE(stream->BeginDeclarations());
    declareScalars(stream, count);
    EXPECT_TRUE(stream->EndDeclarations());
    return stream;
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace evstream::test
