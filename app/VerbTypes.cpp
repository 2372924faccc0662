// `tessel-wave types FILE`: describes type-information strings and shows values in every radix.
// A small window onto the value layer, and the bundled example of `make run`.

#include "app/Verbs.h"
#include "storage/KTypeInfo.h"
#include "storage/TimeFormat.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* kindName(const KTypeInfo& type) {
    switch (type.GetKind()) {
    case KTypeInfo::Enumeration:
        return "enumeration";
    case KTypeInfo::Integer:
        return type.IsPhysical() ? "physical" : "integer";
    case KTypeInfo::Real:
        return "real";
    case KTypeInfo::Array:
        return "array";
    case KTypeInfo::Record:
        return "record";
    default:
        return "none";
    }
}

void describeType(const KTypeInfo& type) {
    const std::uint32_t size = type.GetSimpleSize();
    std::printf("%s: %s, %u %s", type.GetTypeIdentifier().c_str(), kindName(type), size,
                size == 1 ? "byte" : "bytes");
    if (type.GetKind() == KTypeInfo::Array)
        std::printf(", %lld elements", static_cast<long long>(type.GetNbOfElements()));
    if (type.GetKind() == KTypeInfo::Enumeration)
        std::printf(", %d literals", type.GetNbOfValues());
    if (type.IsRadixAllowed())
        std::printf(", any radix");
    if (type.IsInversionAllowed())
        std::printf(", invertible");
    if (type.IsStdLogicConversionAllowed())
        std::printf(", drawn as logic");
    std::printf("\n");
}

void showValue(const KTypeInfo& type, const std::string& text) {
    std::vector<std::uint8_t> bytes(type.GetSimpleSize());
    if (!type.GetBytes(text, bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0, false)) {
        std::printf("  %-24s not a value of this type\n", text.c_str());
        return;
    }
    std::printf("  %-24s %s", text.c_str(), type.GetValueString(bytes.data(), 0, false).c_str());
    if (type.IsRadixAllowed()) {
        for (auto [radix, label] : {std::pair{2, "bin"}, {8, "oct"}, {10, "dec"}, {16, "hex"}})
            std::printf("  %s %s", label, type.GetValueString(bytes.data(), radix, false).c_str());
    }
    if (type.IsInversionAllowed())
        std::printf("  inverted %s", type.GetValueString(bytes.data(), 0, true).c_str());
    std::printf("\n");
}

} // namespace

int runTypesVerb(const std::vector<std::string_view>& args) {
    if (args.size() != 1)
        return usageError("types", "expected one FILE");
    const std::string fileName(args[0]);
    std::ifstream in(fileName);
    if (!in) {
        std::fprintf(stderr, "tessel-wave types: cannot open '%s'\n", fileName.c_str());
        return 1;
    }
    std::optional<KTypeInfo> type;
    std::string line;
    int failures = 0;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (line.empty() || line[0] == ';')
            continue;
        const std::size_t blank = line.find(' ');
        const std::string keyword = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (keyword == "type") {
            std::string error;
            type = KTypeInfo::fromString(rest, &error);
            if (!type) {
                std::fprintf(stderr, "%s:%d: bad type-information string: %s\n", fileName.c_str(),
                             lineNumber, error.c_str());
                ++failures;
                continue;
            }
            std::printf("\n");
            describeType(*type);
        } else if (keyword == "value" && type) {
            showValue(*type, rest);
        } else if (keyword == "time") {
            auto time = ParseTime(rest, Ps);
            if (time)
                std::printf("time %-20s = %lld ps = %s\n", rest.c_str(),
                            static_cast<long long>(time->time), FormatTime(time->time).c_str());
            else
                std::printf("time %-20s is not a time\n", rest.c_str());
        } else {
            std::fprintf(stderr, "%s:%d: expected 'type STRING', 'value TEXT' or 'time TEXT'\n",
                         fileName.c_str(), lineNumber);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
