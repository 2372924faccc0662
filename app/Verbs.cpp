#include "app/Verbs.h"

#include <array>
#include <cstdio>
#include <string>

int runTypesVerb(const std::vector<std::string_view>& args);
int runConvertVerb(const std::vector<std::string_view>& args);
int runInfoVerb(const std::vector<std::string_view>& args);
int runEventsVerb(const std::vector<std::string_view>& args);
int runValueVerb(const std::vector<std::string_view>& args);
int runEditVerb(const std::vector<std::string_view>& args);

std::span<const Verb> allVerbs() {
    static const std::array verbs{
        Verb{"types", "Describe type-information strings and show values in every radix",
             "types FILE   (lines 'type STRING', 'value TEXT', 'time TEXT'; see examples/)",
             runTypesVerb},
        Verb{"convert", "Convert between waveform formats (.vcd, .vcd.gz, .awf)",
             "convert IN OUT [--threads N] [--4state]\n"
             "  --threads N  2: the database compresses and writes on a thread of its own\n"
             "               beside the VCD parser; 3: the parser hands its events to a third\n"
             "               (default 1; more than 3 threads are not used yet)\n"
             "  --4state     write VCD values in 0 1 x z instead of the nine std_logic states",
             runConvertVerb},
        Verb{"info", "Show the signal tree, end time, event counts and annotations of a file",
             "info FILE [--json]   (FILE: .awf, .vcd or .vcd.gz)", runInfoVerb},
        Verb{"events", "List the value changes of one signal",
             "events FILE SIGNAL [--from T] [--to T] [--radix bin|oct|dec|hex] [--json]\n"
             "  SIGNAL  full name (top/u1/clk), or the signal's own name when it is unique\n"
             "  T       a time such as 10ns, 1.5 us or 250 (picoseconds)",
             runEventsVerb},
        Verb{"value", "Show the values of signals at one time",
             "value FILE --at T [SIGNAL...] [--json]   (every row when no SIGNAL is given)",
             runValueVerb},
        Verb{"edit", "Edit a waveform file with a script of commands",
             "edit IN [-o OUT] (--script FILE | -e COMMAND...)\n"
             "  IN       a .awf file, or a .vcd/.vcd.gz file (then -o OUT.awf is needed)\n"
             "  -o OUT   where the result goes (.awf); IN itself when absent\n"
             "  --script FILE   one command a line ('-' reads the standard input)\n"
             "  -e COMMAND      one command; repeat for more\n"
             "  A failing command prints FILE:LINE: message and nothing is saved.\n"
             "  Commands: docs/edit-commands.md",
             runEditVerb},
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
