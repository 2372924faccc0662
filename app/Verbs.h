#pragma once

// The registry of command-line verbs. Each verb lives in its own file (app/Verb<Name>.cpp) and
// is listed in allVerbs().

#include <span>
#include <string_view>
#include <vector>

struct Verb {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;
    int (*run)(const std::vector<std::string_view>& args);
};

std::span<const Verb> allVerbs();

// Prints "tessel-wave VERB: MESSAGE" to stderr and returns the exit code for bad usage (2).
int usageError(std::string_view verb, std::string_view message);
