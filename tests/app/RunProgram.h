#pragma once

// Runs the real tessel-wave program from the tests and captures what it prints.

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct RunResult {
    int exitCode;
    std::string output; // stdout and stderr together
};

// `environment` is put before the command ("VAR=value ...").
inline RunResult runProgram(const std::string& arguments, const std::string& environment = {}) {
    const std::string command = environment + " " + TESSEL_WAVE_EXE + " " + arguments + " 2>&1";
    RunResult result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        result.output += buffer.data();
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
