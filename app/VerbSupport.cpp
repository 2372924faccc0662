#include "app/VerbSupport.h"

#include "document/KDoc.h"
#include "document/KDocTemplate.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"

#include <cstdio>

std::unique_ptr<KDoc> openDocumentFor(std::string_view verb, const std::string& path) {
    try {
        return KDocTemplate::open(path);
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave %s: %s\n", std::string(verb).c_str(), error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tessel-wave %s: %s: not enough memory\n", std::string(verb).c_str(),
                     path.c_str());
    }
    return nullptr;
}

SignalHandle findSignal(const KDoc& doc, std::string_view name) {
    if (SignalHandle exact = doc.findByName(name))
        return exact;
    std::string upper(name);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (SignalHandle loose = doc.findByUpperName(upper))
        return loose;
    SignalHandle found = 0;
    for (const auto& [handle, record] : doc.signals()) {
        const std::string full = doc.fullName(handle);
        const std::size_t slash = full.rfind('/');
        if (full.substr(slash == std::string::npos ? 0 : slash + 1) != name)
            continue;
        if (found != 0)
            return 0; // ambiguous: the user must give the path
        found = handle;
    }
    return found;
}

std::optional<SimTime> parseTimeArgument(std::string_view text) {
    // ParseTime takes an unknown unit for picoseconds; on the command line a typo must not.
    std::size_t unitAt = text.find_first_not_of("+-0123456789.,"
                                                " ");
    if (unitAt != std::string_view::npos) {
        std::string_view unit = text.substr(unitAt);
        while (!unit.empty() && unit.back() == ' ')
            unit.remove_suffix(1);
        bool known = false;
        for (int i = 0; i < kTimeUnitCount; ++i)
            known = known || unit == timeUnitName(static_cast<TimeUnit>(i));
        if (!known)
            return std::nullopt;
    }
    const std::optional<ParsedTime> parsed = ParseTime(text);
    if (!parsed || parsed->sign == '-' || parsed->time < 0)
        return std::nullopt;
    return parsed->time;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}
