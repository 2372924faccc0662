// tessel-wave info FILE [--json]: the signal tree of a waveform file (.awf, or a VCD read
// through the importer) with types, modes, end times, event counts and annotations.

#include "app/Verbs.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdType.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct SignalEntry {
    SignalHandle handle = kNoSignal;
    evstream::SignalInfo info;
    std::string typeString;
    std::int64_t events = 0;
    std::vector<evstream::Annotation> annotations;
    std::vector<SignalEntry> children;
};

struct FileInfo {
    std::string fileName;
    SimTime endTime = 0;
    std::int64_t events = 0;
    std::vector<SignalEntry> signals;
};

const char* modeText(int mode) {
    static const char* kModes[] = {"unspecified", "in",      "out",    "inout",
                                   "buffer",      "linkage", "signal", "variable"};
    return mode >= 0 && mode < 8 ? kModes[mode] : "unknown";
}

// The VHDL subtype text of a type string: full for the types VCD carries, the bare type name
// otherwise. TODO: take GetTypeIdentifier of KTypeInfo when it lands.
std::string typeText(const std::string& typeString) {
    if (typeString.empty())
        return "<type unknown>";
    if (auto type = KVcdType::fromTypeInfoString(typeString);
        type && type->kind() == KVcdType::Kind::LogicVector)
        return std::string(type->isTwoState() ? "bit_vector(" : "std_logic_vector(") +
               std::to_string(type->left()) +
               (type->left() >= type->right() ? " downto " : " to ") +
               std::to_string(type->right()) + ")";
    std::size_t first = typeString.find('#');
    std::size_t second = first == std::string::npos ? first : typeString.find('#', first + 1);
    if (second == std::string::npos)
        return typeString;
    std::size_t length = std::strtoul(typeString.c_str() + first + 1, nullptr, 10);
    return typeString.substr(second + 1, length);
}

// Collects a VCD file's declarations and counts its events without storing them.
class CountingSink : public evstream::IEventsStreamWrite {
public:
    FileInfo& info;
    std::map<SignalHandle, std::size_t> index;
    SimTime time = 0;
    DeltaCycle delta = 0;

    explicit CountingSink(FileInfo& target) : info(target) {}
    void AddRef() override {}
    bool Release() override { return true; }
    bool BeginDeclarations() override { return true; }
    bool EndDeclarations() override { return true; }
    bool DeclareScalar(SignalHandle handle, const evstream::SignalInfo& declared) override {
        index[handle] = info.signals.size();
        info.signals.push_back({handle, declared, {}, 0, {}, {}});
        return true;
    }
    bool DeclareComposite(SignalHandle handle, const evstream::SignalInfo& declared) override {
        return DeclareScalar(handle, declared);
    }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return true;
    }
    bool SetProperty(SignalHandle, std::string_view, std::string_view) override { return true; }
    bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) override {
        info.signals[index[handle]].typeString = typeInfo;
        return true;
    }
    bool SetTime(const SimTime& t) override {
        time = t;
        return true;
    }
    const SimTime& GetTime() override { return time; }
    bool SetDelta(DeltaCycle d) override {
        delta = d;
        return true;
    }
    DeltaCycle GetDelta() override { return delta; }
    bool WriteValue(SignalHandle handle, const void*, std::uint32_t) override {
        ++info.signals[static_cast<std::size_t>(handle)].events;
        ++info.events;
        return true;
    }
    std::string GetFileName() override { return info.fileName; }
};

void readVcd(FileInfo& info) {
    CountingSink sink(info);
    KVcdImportSummary summary = KVcdReader(info.fileName).importInto(sink);
    info.endTime = summary.endTime;
}

SignalEntry readSignal(evstream::IEventsStreamRead& stream, SignalHandle handle) {
    SignalEntry entry;
    entry.handle = handle;
    if (!stream.GetSignalInfo(handle, entry.info))
        throw KFileException::generic(stream.GetFileName(), "cannot read the signal tree");
    entry.typeString = stream.GetTypeInfoString(handle);
    int annotations = stream.GetAnnotationCount(handle);
    for (int i = 0; i < annotations; ++i) {
        evstream::Annotation annotation;
        if (stream.GetAnnotation(handle, i, annotation))
            entry.annotations.push_back(std::move(annotation));
    }
    for (int i = 0; entry.info.isComposite && i < entry.info.childCount; ++i)
        entry.children.push_back(readSignal(stream, stream.GetChild(handle, i)));
    return entry;
}

void countEvents(std::vector<SignalEntry>& entries,
                 const std::map<SignalHandle, std::int64_t>& counts) {
    for (SignalEntry& entry : entries) {
        auto found =
            counts.find(entry.info.sameEventsAs >= 0 ? entry.info.sameEventsAs : entry.handle);
        entry.events = found == counts.end() ? 0 : found->second;
        countEvents(entry.children, counts);
    }
}

void readDatabase(FileInfo& info) {
    evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(info.fileName);
    try {
        int roots = stream->GetRootCount();
        for (int i = 0; i < roots; ++i)
            info.signals.push_back(readSignal(*stream, stream->GetRoot(i)));
        std::map<SignalHandle, std::int64_t> counts;
        if (stream->Rewind(0))
            for (SignalHandle h = stream->ReadNextEvent(); h != kNoSignal;
                 h = stream->ReadNextEvent()) {
                ++counts[h];
                ++info.events;
            }
        countEvents(info.signals, counts);
        info.endTime = stream->GetEndTime();
    } catch (...) {
        stream->Release();
        throw;
    }
    stream->Release();
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

SimTime endOf(const SignalEntry& entry, const FileInfo& info) {
    return entry.info.endTime == kNoTime ? info.endTime : entry.info.endTime;
}

void printText(const std::vector<SignalEntry>& entries, const FileInfo& info, int depth) {
    for (const SignalEntry& entry : entries) {
        std::printf("%*s%s : %s  [%s]  end %s, %lld events", depth * 2, "", entry.info.name.c_str(),
                    typeText(entry.typeString).c_str(), modeText(entry.info.mode),
                    FormatTime(endOf(entry, info)).c_str(), static_cast<long long>(entry.events));
        if (entry.info.sameEventsAs >= 0)
            std::printf(" (same events as handle %d)", entry.info.sameEventsAs);
        std::printf("\n");
        for (const evstream::Annotation& annotation : entry.annotations)
            std::printf("%*s  %s at %s: %s\n", depth * 2, "", annotation.key.c_str(),
                        FormatTime(annotation.time).c_str(), annotation.text.c_str());
        printText(entry.children, info, depth + 1);
    }
}

std::string json(const std::vector<SignalEntry>& entries, const FileInfo& info) {
    std::string out = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SignalEntry& entry = entries[i];
        out += (i ? ",{" : "{");
        out += "\"name\":" + jsonString(entry.info.name) +
               ",\"type\":" + jsonString(typeText(entry.typeString)) +
               ",\"typeString\":" + jsonString(entry.typeString) +
               ",\"mode\":" + jsonString(modeText(entry.info.mode)) +
               ",\"endTime\":" + jsonString(FormatTime(endOf(entry, info))) +
               ",\"endTimePs\":" + std::to_string(endOf(entry, info)) +
               ",\"events\":" + std::to_string(entry.events) + ",\"annotations\":[";
        for (std::size_t a = 0; a < entry.annotations.size(); ++a)
            out += std::string(a ? "," : "") +
                   "{\"time\":" + jsonString(FormatTime(entry.annotations[a].time)) +
                   ",\"key\":" + jsonString(entry.annotations[a].key) +
                   ",\"text\":" + jsonString(entry.annotations[a].text) + "}";
        out += "],\"children\":" + json(entry.children, info) + "}";
    }
    return out + "]";
}

} // namespace

int runInfoVerb(const std::vector<std::string_view>& args) {
    bool asJson = false;
    std::vector<std::string_view> files;
    for (std::string_view arg : args) {
        if (arg == "--json")
            asJson = true;
        else if (arg.starts_with("--"))
            return usageError("info", "unknown option '" + std::string(arg) + "'");
        else
            files.push_back(arg);
    }
    if (files.size() != 1)
        return usageError("info", "expected one FILE");
    FileInfo info;
    info.fileName = files[0];
    try {
        if (info.fileName.ends_with(".vcd") || info.fileName.ends_with(".vcd.gz"))
            readVcd(info);
        else
            readDatabase(info);
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave info: %s\n", error.what());
        return 1;
    }
    if (asJson) {
        std::printf("{\"file\":%s,\"endTime\":%s,\"endTimePs\":%lld,\"events\":%lld,"
                    "\"signals\":%s}\n",
                    jsonString(info.fileName).c_str(), jsonString(FormatTime(info.endTime)).c_str(),
                    static_cast<long long>(info.endTime), static_cast<long long>(info.events),
                    json(info.signals, info).c_str());
        return 0;
    }
    std::printf("%s: end %s, %lld events\n", info.fileName.c_str(),
                FormatTime(info.endTime).c_str(), static_cast<long long>(info.events));
    printText(info.signals, info, 1);
    return 0;
}
