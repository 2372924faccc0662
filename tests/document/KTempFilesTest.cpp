#include "document/KTempFiles.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(KTempFiles, MakesRegisteredFilesWithThePrefixAndDeletesOnlyThose) {
    const std::string plain = KTempFiles::create();
    const std::string path = KTempFiles::create(".awf");
    ASSERT_FALSE(path.empty());
    EXPECT_NE(plain, path);
    EXPECT_TRUE(fs::path(path).filename().string().starts_with("wfv"));
    EXPECT_TRUE(path.ends_with(".awf"));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(KTempFiles::isRegistered(path));
    KTempFiles::remove(path);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(KTempFiles::isRegistered(path));
    KTempFiles::removeAll();
    EXPECT_FALSE(fs::exists(plain));
    // Paths it did not make are not its to delete.
    const fs::path other = fs::temp_directory_path() / ("not-a-wfv-" + std::to_string(::getpid()));
    std::ofstream(other) << "x";
    KTempFiles::remove(other.string());
    EXPECT_TRUE(fs::exists(other));
    fs::remove(other);
}

// A child makes two files, tells their names through a pipe and waits to be signalled; the
// signal must end it the usual way and leave no file behind.
TEST(KTempFiles, AreDeletedWhenTheProgramIsInterruptedOrTerminated) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(channel[0]);
            for (int i = 0; i < 2; ++i) {
                const std::string path = KTempFiles::create() + "\n";
                if (path.size() < 2 || ::write(channel[1], path.data(), path.size()) < 0)
                    ::_exit(2);
            }
            ::close(channel[1]);
            for (;;)
                ::pause();
        }
        ::close(channel[1]);
        std::vector<std::string> paths;
        char line[512];
        FILE* names = ::fdopen(channel[0], "r");
        while (std::fgets(line, sizeof line, names) != nullptr)
            paths.emplace_back(line, std::strcspn(line, "\n"));
        std::fclose(names);
        ASSERT_EQ(paths.size(), 2u);
        for (const std::string& path : paths)
            EXPECT_TRUE(fs::exists(path)) << path;

        ASSERT_EQ(::kill(child, signalNumber), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), signalNumber);
        for (const std::string& path : paths)
            EXPECT_FALSE(fs::exists(path)) << path;
    }
}
