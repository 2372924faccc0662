#pragma once

// Helpers of the event database tests: temporary files, writing a list of events and reading
// every event back in time order.

#include "storage/evstream/EventStore.h"

#include <filesystem>
#include <string>
#include <vector>

namespace evstream::test {

// A file name in the temporary folder, removed when the object goes.
class TempFile {
public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

struct Event {
    SimTime time = 0;
    DeltaCycle delta = 0;
    SignalHandle handle = kNoSignal;
    std::vector<std::uint8_t> value;
    friend bool operator==(const Event&, const Event&) = default;
};

// Calls SetTime/SetDelta as the keys change and WriteValue for each event; false on any failure.
bool writeEvents(IEventsStreamWrite* stream, const std::vector<Event>& events);
// Declares `count` top-level scalars with handles 0..count-1 named s0, s1, ...
void declareScalars(IEventsStreamWrite* stream, int count);
// Opens `path` for writing with `count` scalars declared as by declareScalars.
IEventsStreamWrite* openWithScalars(const std::string& path, int count);
// Every event from the start, by ReadNextEvent.
std::vector<Event> readAll(IEventsStreamRead* stream);
// The bytes of a whole file, and a file made of these bytes.
std::vector<std::uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Releases a stream when the test ends, whatever its outcome.
template <typename Stream> struct Releaser {
    Stream* stream;
    ~Releaser() {
        if (stream != nullptr)
            stream->Release();
    }
};

} // namespace evstream::test
