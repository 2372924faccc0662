// tessel-wave events FILE SIGNAL [--from T] [--to T] [--radix bin|oct|dec|hex] [--json]: the
// value of one signal at --from and every change after it up to --to (a bus is one value).

#include "app/VerbSupport.h"
#include "app/Verbs.h"
#include "document/KDoc.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"
#include "storage/ValueText.h"
#include "storage/query/KEventsProvider.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string file;
    std::string signal;
    SimTime from = 0;
    SimTime to = kMaxTime;
    int radix = 0;
    bool json = false;
};

// The start value and each change up to the end time, deltas included.
class KMyEventsProvider final : public KEventsProvider {
public:
    KMyEventsProvider(const KDoc& doc, SimTime from, SimTime to)
        : KEventsProvider(doc, from), m_to(to) {}
    void OnStartValue(SignalHandle, const KEventRecord& record, bool) override {
        events.push_back(record);
    }
    bool OnEvent(SignalHandle, const KEventRecord& record) override {
        if (record.time() > m_to)
            return false;
        events.push_back(record);
        return true;
    }
    std::vector<KEventRecord> events;

private:
    SimTime m_to;
};

std::optional<int> radixOf(std::string_view text) {
    if (text == "bin")
        return 2;
    if (text == "oct")
        return 8;
    if (text == "dec")
        return 10;
    if (text == "hex")
        return 16;
    return std::nullopt;
}

int parse(const std::vector<std::string_view>& args, Options& options) {
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--from" || arg == "--to" || arg == "--radix") {
            if (i + 1 == args.size())
                return usageError("events", std::string(arg) + " needs a value");
            const std::string_view value = args[++i];
            if (arg == "--radix") {
                const std::optional<int> radix = radixOf(value);
                if (!radix)
                    return usageError("events", "--radix takes bin, oct, dec or hex");
                options.radix = *radix;
                continue;
            }
            const std::optional<SimTime> time = parseTimeArgument(value);
            if (!time)
                return usageError("events", "'" + std::string(value) +
                                                "' is not a time (such as 10ns, 1.5 us, 250)");
            (arg == "--from" ? options.from : options.to) = *time;
        } else if (arg.starts_with("--")) {
            return usageError("events", "unknown option '" + std::string(arg) + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return usageError("events", "expected FILE and SIGNAL");
    if (options.to < options.from)
        return usageError("events", "--to lies before --from");
    options.file = positional[0];
    options.signal = positional[1];
    return 0;
}

int run(const Options& options) {
    std::unique_ptr<KDoc> doc = openDocumentFor("events", options.file);
    if (!doc)
        return 1;
    const SignalHandle handle = findSignal(*doc, options.signal);
    if (handle == 0) {
        std::fprintf(stderr, "tessel-wave events: %s: no signal '%s'\n", options.file.c_str(),
                     options.signal.c_str());
        return 1;
    }
    KMyEventsProvider provider(*doc, options.from, options.to);
    provider.addSignal(handle);
    try {
        provider.run();
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave events: %s\n", error.what());
        return 1;
    }
    const KSignalRecord& record = *doc->record(handle);
    const ValueFormat format{options.radix, true};
    if (options.json)
        std::printf("{\"file\":%s,\"signal\":%s,\"events\":[", jsonString(options.file).c_str(),
                    jsonString(doc->fullName(handle)).c_str());
    bool first = true;
    for (const KEventRecord& event : provider.events) {
        std::size_t position = 0;
        const std::string value =
            FormatValue(doc->types(), record, event.value().bytes(), position, format);
        if (options.json) {
            std::printf("%s{\"time\":%s,\"timePs\":%lld,\"delta\":%d,\"value\":%s}",
                        first ? "" : ",", jsonString(FormatTime(event.time())).c_str(),
                        static_cast<long long>(event.time()), event.delta(),
                        jsonString(value).c_str());
        } else {
            std::string time = FormatTime(event.time());
            if (event.delta() != 0)
                time += " +" + std::to_string(event.delta()) + "d";
            std::printf("%-16s %s\n", time.c_str(), value.c_str());
        }
        first = false;
    }
    if (options.json)
        std::printf("]}\n");
    return 0;
}

} // namespace

int runEventsVerb(const std::vector<std::string_view>& args) {
    Options options;
    if (const int error = parse(args, options))
        return error;
    return run(options);
}
