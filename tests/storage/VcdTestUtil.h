#pragma once

// Helpers of the VCD tests: the sample files, temporary paths, std_logic bytes, the
// comparison of two recorded imports signal by signal, and the trip through the database.

#include "VcdTestStreams.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace vcdtest {

inline const std::string kData = std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/";

// A path in the temporary folder, distinct per process.
inline std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("tessel-vcd-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// std_logic ordinals of a string of U X 0 1 Z W L H - characters.
inline std::vector<std::uint8_t> logic(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char c : text)
        bytes.push_back(static_cast<std::uint8_t>(std::string_view("UX01ZWLH-").find(c)));
    return bytes;
}

// The same signals by name, with the same types and events.
inline void expectSameEvents(const RecordingStreamWrite& a, const RecordingStreamWrite& b) {
    ASSERT_EQ(a.declarations.size(), b.declarations.size());
    for (const auto& [handle, info] : a.declarations) {
        SignalHandle other = b.handleOf(info.name);
        ASSERT_NE(other, kNoSignal) << info.name;
        EXPECT_EQ(a.typeStrings.at(handle), b.typeStrings.at(other)) << info.name;
        EXPECT_EQ(a.eventsOf(handle), b.eventsOf(other)) << info.name;
    }
}

// VCD -> .awf (the real database, its writer on a thread of its own or not) -> VCD: the file
// written last imports to the signals and events of `original`, the direct import of `vcd`.
inline void expectSameThroughDatabase(const std::string& vcd, const RecordingStreamWrite& original,
                                      bool writerThread = false) {
    const std::string awf = tempPath("through.awf");
    const std::string back = tempPath("through.vcd");
    evstream::IEventsStreamWrite* stream = evstream::OpenStreamWrite(awf);
    evstream::SetWriterThread(stream, writerThread);
    KVcdReader(vcd).importInto(*stream);
    ASSERT_TRUE(stream->Release());
    evstream::IEventsStreamRead* read = evstream::OpenStreamRead(awf);
    KVcdWriter().write(*read, back);
    read->Release();
    RecordingStreamWrite again;
    KVcdReader(back).importInto(again);
    expectSameEvents(original, again);
    std::filesystem::remove(awf);
    std::filesystem::remove(back);
}

} // namespace vcdtest
