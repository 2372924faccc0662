// tessel-wave value FILE --at T [SIGNAL...] [--json]: the values of every row (or of the named
// signals) at one time.

#include "app/VerbSupport.h"
#include "app/Verbs.h"
#include "document/KDoc.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"
#include "storage/ValueText.h"
#include "storage/query/KValuesQuery.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string file;
    std::optional<SimTime> at;
    std::vector<std::string> signals;
    bool json = false;
};

int parse(const std::vector<std::string_view>& args, Options& options) {
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--at") {
            if (i + 1 == args.size())
                return usageError("value", "--at needs a time");
            options.at = parseTimeArgument(args[++i]);
            if (!options.at)
                return usageError("value", "'" + std::string(args[i]) +
                                               "' is not a time (such as 10ns, 1.5 us, 250)");
        } else if (arg.starts_with("--")) {
            return usageError("value", "unknown option '" + std::string(arg) + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty())
        return usageError("value", "expected FILE");
    if (!options.at)
        return usageError("value", "expected --at TIME");
    options.file = positional[0];
    options.signals.assign(positional.begin() + 1, positional.end());
    return 0;
}

int run(const Options& options) {
    std::unique_ptr<KDoc> doc = openDocumentFor("value", options.file);
    if (!doc)
        return 1;
    std::vector<SignalHandle> handles;
    for (const std::string& name : options.signals) {
        const SignalHandle handle = findSignal(*doc, name);
        if (handle == 0) {
            std::fprintf(stderr, "tessel-wave value: %s: no signal '%s'\n", options.file.c_str(),
                         name.c_str());
            return 1;
        }
        handles.push_back(handle);
    }
    if (options.signals.empty())
        handles = doc->rows();
    KValuesQuery query(*doc, *options.at);
    for (SignalHandle handle : handles)
        query.addSignal(handle);
    try {
        query.run();
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave value: %s\n", error.what());
        return 1;
    }
    if (options.json)
        std::printf("{\"file\":%s,\"time\":%s,\"timePs\":%lld,\"values\":[",
                    jsonString(options.file).c_str(), jsonString(FormatTime(*options.at)).c_str(),
                    static_cast<long long>(*options.at));
    for (std::size_t i = 0; i < handles.size(); ++i) {
        const std::optional<EventValue> value = query.value(handles[i]);
        std::string text = "?";
        if (value) {
            std::size_t position = 0;
            text = FormatValue(doc->types(), *doc->record(handles[i]), value->bytes(), position,
                               ValueFormat{0, true});
        }
        const std::string name = doc->fullName(handles[i]);
        if (options.json)
            std::printf("%s{\"name\":%s,\"value\":%s}", i ? "," : "", jsonString(name).c_str(),
                        value ? jsonString(text).c_str() : "null");
        else
            std::printf("%s = %s\n", name.c_str(), text.c_str());
    }
    if (options.json)
        std::printf("]}\n");
    return 0;
}

} // namespace

int runValueVerb(const std::vector<std::string_view>& args) {
    Options options;
    if (const int error = parse(args, options))
        return error;
    return run(options);
}
