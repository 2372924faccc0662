// tessel-wave edit IN [-o OUT] (--script FILE | -e COMMAND...): opens a waveform file, runs
// editing commands on it and saves the result. The commands and their syntax:
// docs/edit-commands.md.

#include "app/EditHost.h"
#include "app/EditScript.h"
#include "app/EditSession.h"
#include "app/VerbSupport.h"
#include "app/Verbs.h"
#include "document/KDoc.h"
#include "document/KDocTemplate.h"
#include "storage/KFileException.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string input;
    std::string output;
    std::optional<std::string> scriptFile;
    std::vector<std::string_view> commands;
};

int parse(const std::vector<std::string_view>& args, Options& options) {
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-o" || arg == "--output" || arg == "--script" || arg == "-e") {
            if (i + 1 == args.size())
                return usageError("edit", std::string(arg) + " needs a value");
            const std::string_view value = args[++i];
            if (arg == "-e")
                options.commands.push_back(value);
            else if (arg == "--script")
                options.scriptFile = std::string(value);
            else
                options.output = value;
        } else if (arg.starts_with("-") && arg != "-") {
            return usageError("edit", "unknown option '" + std::string(arg) + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 1)
        return usageError("edit", "expected one input FILE");
    if (options.scriptFile.has_value() == !options.commands.empty())
        return usageError("edit", "give either --script FILE or one or more -e COMMAND");
    options.input = positional[0];
    const KDocTemplate::Kind kind = KDocTemplate::kindOf(options.input);
    if (kind == KDocTemplate::Kind::Unknown)
        return usageError("edit", "'" + options.input + "' is not a .awf, .vcd or .vcd.gz file");
    if (options.output.empty()) {
        if (kind != KDocTemplate::Kind::Waveform)
            return usageError("edit", "a VCD input needs -o OUT.awf");
        options.output = options.input;
    }
    if (KDocTemplate::kindOf(options.output) != KDocTemplate::Kind::Waveform)
        return usageError("edit", "the output '" + options.output + "' must be a .awf file");
    return 0;
}

std::optional<EditScript> loadScript(const Options& options) {
    if (!options.scriptFile)
        return EditScript::fromCommands(options.commands);
    std::string error;
    std::optional<EditScript> script = EditScript::fromFile(*options.scriptFile, error);
    if (!script)
        std::fprintf(stderr, "tessel-wave edit: %s\n", error.c_str());
    return script;
}

int run(const Options& options) {
    const std::optional<EditScript> script = loadScript(options);
    if (!script)
        return 1;
    // Every line must be a command before the (possibly long) opening of the input.
    if (const std::string error = EditSession::check(*script); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    EditHost host;
    std::unique_ptr<KDoc> doc;
    try {
        doc = KDocTemplate::open(options.input, &host);
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave edit: %s\n", error.what());
        return 1;
    }
    EditSession session(*doc, host, options.output);
    for (const EditScriptLine& line : script->lines()) {
        const EditStatus status = session.run(line);
        if (!status.ok()) {
            std::fprintf(stderr, "%s:%d: %s\n", line.source.c_str(), line.number,
                         status.message().c_str());
            return 1;
        }
    }
    std::string error;
    if (!session.finish(error)) {
        std::fprintf(stderr, "tessel-wave edit: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int runEditVerb(const std::vector<std::string_view>& args) {
    Options options;
    if (const int error = parse(args, options))
        return error;
    return run(options);
}
