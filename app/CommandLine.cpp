#include "app/CommandLine.h"

#include "app/Verbs.h"
#include "app/Version.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(out, "Usage: tessel-wave [--help] [--version] VERB [ARGS...]\n\n"
                      "Tessel Waveform: the waveform viewer and editor of Tessel.\n\nVerbs:\n");
    for (const Verb& verb : allVerbs())
        std::fprintf(out, "  %-10s %s\n", std::string(verb.name).c_str(),
                     std::string(verb.summary).c_str());
    std::fprintf(out, "\nRun 'tessel-wave VERB --help' for the arguments of one verb.\n");
}

} // namespace

int runCommandLine(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(stdout);
        return 0;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::printf("tessel-wave %s\n", TESSEL_WAVE_VERSION);
        return 0;
    }
    for (const Verb& verb : allVerbs()) {
        if (verb.name == args[0]) {
            std::vector<std::string_view> verbArgs(args.begin() + 1, args.end());
            for (std::string_view arg : verbArgs) {
                if (arg == "--help" || arg == "-h") {
                    std::printf("Usage: tessel-wave %s\n\n%s\n", std::string(verb.usage).c_str(),
                                std::string(verb.summary).c_str());
                    return 0;
                }
            }
            return verb.run(verbArgs);
        }
    }
    std::fprintf(stderr, "tessel-wave: unknown verb or option '%s'\n",
                 std::string(args[0]).c_str());
    std::fprintf(stderr, "Run 'tessel-wave --help' for the list of verbs.\n");
    return 2;
}
