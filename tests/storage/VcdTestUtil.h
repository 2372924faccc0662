#pragma once

// Helpers of the VCD tests: the sample files, temporary paths, std_logic bytes and the
// comparison of two recorded imports signal by signal.

#include "VcdTestStreams.h"

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

} // namespace vcdtest
