#include "app/Verbs.h"

#include <array>
#include <cstdio>
#include <string>

int runTypesVerb(const std::vector<std::string_view>& args);

std::span<const Verb> allVerbs() {
    static const std::array verbs{
        Verb{"types", "Describe type-information strings and show values in every radix",
             "types FILE   (lines 'type STRING', 'value TEXT', 'time TEXT'; see examples/)",
             runTypesVerb},
    };
    return verbs;
}

int usageError(std::string_view verb, std::string_view message) {
    std::fprintf(stderr, "tessel-wave %s: %s\n", std::string(verb).c_str(),
                 std::string(message).c_str());
    std::fprintf(stderr, "Run 'tessel-wave %s --help' for its arguments.\n",
                 std::string(verb).c_str());
    return 2;
}
