// tessel-wave info FILE [--json]: a waveform file (.awf, or a VCD converted on the way) as the
// document sees it: rows with their elements, types, modes, end times, event counts, the
// properties that differ from the defaults, comments and measurements.

#include "app/VerbSupport.h"
#include "app/Verbs.h"
#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KStoreEventsQuery.h"
#include "document/KWaveComment.h"
#include "document/KWaveformWriter.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"
#include "storage/evstream/NullStreamWrite.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const char* modeText(std::uint32_t mode) {
    static const char* kModes[] = {"unspecified", "in",      "out",    "inout",
                                   "buffer",      "linkage", "signal", "variable"};
    return mode < 8 ? kModes[mode] : "unknown";
}

// Counts the changes of every signal from the values a save would write: the store walk reads
// all leaves side by side through time, so a database file's blocks are decoded once, not once
// per signal. A bus counts each (time, delta) at which any of its elements changes once.
class CountingSink final : public evstream::NullStreamWrite {
public:
    explicit CountingSink(const KDoc& doc) : NullStreamWrite(true) {
        for (const auto& [handle, record] : doc.signals())
            if (record->children().empty())
                for (SignalHandle up = handle; up != 0; up = doc.record(up)->parent())
                    m_counted[handle].push_back(up);
    }
    std::map<SignalHandle, std::int64_t> counts;

    bool SetTime(const SimTime& time) override {
        ++m_key;
        return NullStreamWrite::SetTime(time);
    }
    bool SetDelta(DeltaCycle delta) override {
        ++m_key;
        return NullStreamWrite::SetDelta(delta);
    }
    bool WriteValue(SignalHandle handle, const void*, std::uint32_t) override {
        ++total;
        auto found = m_counted.find(handle);
        if (found == m_counted.end())
            return true;
        for (SignalHandle each : found->second) {
            std::int64_t& last = m_lastKey[each];
            // A leaf counts every value; a bus once per key.
            if (each == handle || last != m_key)
                ++counts[each];
            last = m_key;
        }
        return true;
    }
    std::int64_t total = 0;

private:
    std::int64_t m_key = 0;
    std::map<SignalHandle, std::vector<SignalHandle>> m_counted; // a leaf and its ancestors
    std::map<SignalHandle, std::int64_t> m_lastKey;
};

struct Annotation {
    SimTime time;
    std::string key;
    std::string text;
};

class InfoPrinter {
public:
    explicit InfoPrinter(const KDoc& doc) : m_doc(doc), m_writer(doc) {
        auto* sink = new CountingSink(doc);
        KEventsWriteHandle handle = KEventsWriteHandle::adopt(sink);
        const SimTime end = doc.endTime();
        if (end != kNoTime) {
            KStoreEventsQuery query(doc, end);
            for (SignalHandle row : doc.rows())
                query.addLeavesOf(row);
            query.writeTo(handle);
        }
        m_counts = sink->counts;
        m_total = sink->total;
        collectAnnotations();
    }

    std::int64_t totalEvents() const { return m_total; }

    void printText(SignalHandle handle, int depth) const {
        const KSignalRecord& record = *m_doc.record(handle);
        std::printf("%*s%s : %s  [%s]  end %s, %lld events\n", depth * 2, "",
                    m_doc.fullName(handle).c_str(), typeText(record).c_str(),
                    modeText(record.mode()), FormatTime(endOf(record)).c_str(),
                    static_cast<long long>(count(handle)));
        std::string properties;
        for (const auto& [key, value] : m_writer.properties(record))
            properties += (properties.empty() ? "" : ", ") + key + "=" + value;
        if (!properties.empty())
            std::printf("%*s  properties: %s\n", depth * 2, "", properties.c_str());
        for (const Annotation& note : annotationsOf(handle))
            std::printf("%*s  %s at %s: %s\n", depth * 2, "", note.key.c_str(),
                        FormatTime(note.time).c_str(), note.text.c_str());
        for (const KSignalRecordPtr& child : record.children())
            printText(child->handle(), depth + 1);
    }

    std::string json(const std::vector<SignalHandle>& handles) const {
        std::string out = "[";
        for (std::size_t i = 0; i < handles.size(); ++i) {
            const KSignalRecord& record = *m_doc.record(handles[i]);
            const std::string typeString =
                record.hasTypeInfo() ? m_doc.types().type(record.typeIndex()).GetTypeInfoString()
                                     : std::string();
            out += (i ? ",{" : "{");
            out += "\"name\":" + jsonString(m_doc.fullName(handles[i])) +
                   ",\"type\":" + jsonString(typeText(record)) +
                   ",\"typeString\":" + jsonString(typeString) +
                   ",\"mode\":" + jsonString(modeText(record.mode())) +
                   ",\"endTime\":" + jsonString(FormatTime(endOf(record))) +
                   ",\"endTimePs\":" + std::to_string(endOf(record)) +
                   ",\"events\":" + std::to_string(count(handles[i])) + ",\"properties\":{";
            bool first = true;
            for (const auto& [key, value] : m_writer.properties(record)) {
                out += (first ? "" : ",") + jsonString(key) + ":" + jsonString(value);
                first = false;
            }
            out += "},\"annotations\":[";
            first = true;
            for (const Annotation& note : annotationsOf(handles[i])) {
                out += std::string(first ? "" : ",") +
                       "{\"time\":" + jsonString(FormatTime(note.time)) +
                       ",\"timePs\":" + std::to_string(note.time) +
                       ",\"key\":" + jsonString(note.key) + ",\"text\":" + jsonString(note.text) +
                       "}";
                first = false;
            }
            std::vector<SignalHandle> children;
            for (const KSignalRecordPtr& child : record.children())
                children.push_back(child->handle());
            out += "],\"children\":" + json(children) + "}";
        }
        return out + "]";
    }

private:
    std::string typeText(const KSignalRecord& record) const {
        if (record.isVirtualBus())
            return "Virtual Bus";
        return record.hasTypeInfo() ? m_doc.types().type(record.typeIndex()).GetTypeIdentifier()
                                    : "<type unknown>";
    }
    SimTime endOf(const KSignalRecord& record) const {
        const SimTime end = m_writer.endTime(record);
        return end == kNoTime ? 0 : end;
    }
    std::int64_t count(SignalHandle handle) const {
        auto found = m_counts.find(handle);
        return found == m_counts.end() ? 0 : found->second;
    }
    std::vector<Annotation> annotationsOf(SignalHandle handle) const {
        auto found = m_annotations.find(handle);
        return found == m_annotations.end() ? std::vector<Annotation>() : found->second;
    }
    void collectAnnotations() {
        for (const auto& item : m_doc.items()) {
            if (item->kind() == KItemUI::Kind::Comment) {
                const auto& comment = static_cast<const KWaveComment&>(*item);
                m_annotations[comment.signal()].push_back(
                    {comment.time(), "Comment", comment.text()});
            } else if (item->kind() == KItemUI::Kind::Measurement) {
                const auto& extent = static_cast<const KEventsExtent&>(*item);
                m_annotations[extent.signal()].push_back(
                    {extent.startTime(), "Measurement",
                     FormatTime(extent.duration()) + " to " + m_doc.fullName(extent.endSignal()) +
                         " at " + FormatTime(extent.endTime())});
            }
        }
        for (auto& [handle, notes] : m_annotations)
            std::stable_sort(
                notes.begin(), notes.end(),
                [](const Annotation& a, const Annotation& b) { return a.time < b.time; });
    }

    const KDoc& m_doc;
    KWaveformWriter m_writer;
    std::map<SignalHandle, std::int64_t> m_counts;
    std::map<SignalHandle, std::vector<Annotation>> m_annotations;
    std::int64_t m_total = 0;
};

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
    const std::string fileName(files[0]);
    std::unique_ptr<KDoc> doc = openDocumentFor("info", fileName);
    if (!doc)
        return 1;
    try {
        const InfoPrinter printer(*doc);
        const SimTime end = std::max<SimTime>(doc->endTime(), 0);
        if (asJson) {
            std::printf("{\"file\":%s,\"endTime\":%s,\"endTimePs\":%lld,\"events\":%lld,"
                        "\"signals\":%s}\n",
                        jsonString(fileName).c_str(), jsonString(FormatTime(end)).c_str(),
                        static_cast<long long>(end), static_cast<long long>(printer.totalEvents()),
                        printer.json(doc->rows()).c_str());
            return 0;
        }
        std::printf("%s: end %s, %lld events\n", fileName.c_str(), FormatTime(end).c_str(),
                    static_cast<long long>(printer.totalEvents()));
        for (SignalHandle row : doc->rows())
            printer.printText(row, 1);
    } catch (const KFileException& error) {
        std::fprintf(stderr, "tessel-wave info: %s\n", error.what());
        return 1;
    }
    return 0;
}
