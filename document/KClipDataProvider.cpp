#include "document/KClipDataProvider.h"

#include "document/ElementNames.h"
#include "document/KDoc.h"
#include "document/KItemStream.h"
#include "document/KItemStreamReader.h"
#include "document/KWaveformReader.h"
#include "document/KWaveformWriter.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::string_view kTitle = "WAVEFORMSIGNAL";
// The fewest bytes one signal's items take: two empty texts and three integers (5 bytes each)
// and an end mark.
constexpr std::size_t kSignalBytes = 2 * 5 + 3 * 5 + 1;
constexpr std::size_t kPropertyBytes = 2 * 5 + 1;

KClipSignal describeRecord(const KDoc& doc, const KWaveformWriter& writer,
                           const KSignalRecord& record, bool designPath) {
    KClipSignal out;
    if (designPath)
        out.name = doc.hierarchyText(record.hierarchyIndex()) + record.name();
    else
        out.name = record.name().substr(
            std::min<std::size_t>(record.parentNameLength(), record.name().size()));
    out.mode = record.mode();
    if (record.hasTypeInfo())
        out.typeInfo = doc.types().type(record.typeIndex()).GetTypeInfoString();
    out.properties = writer.properties(record);
    // Where the copy's waveform started says nothing about the new rows.
    out.properties.erase("StartTime");
    for (const KSignalRecordPtr& child : record.children())
        out.children.push_back(describeRecord(doc, writer, *child, record.isVirtualBus()));
    return out;
}

void writeSignal(KItemStream& out, const KClipSignal& signal) {
    out.text(signal.name)
        .integer(static_cast<std::int32_t>(signal.mode))
        .text(signal.typeInfo)
        .integer(static_cast<std::int32_t>(signal.properties.size()))
        .integer(static_cast<std::int32_t>(signal.children.size()))
        .end();
    for (const auto& [key, value] : signal.properties)
        out.text(key).text(value).end();
    for (const KClipSignal& child : signal.children)
        writeSignal(out, child);
}

std::int32_t countIn(KItemStreamReader& in, std::size_t bytesEach, std::string_view what) {
    const std::size_t most =
        std::min<std::size_t>(in.remaining() / bytesEach, std::numeric_limits<std::int32_t>::max());
    return in.integerIn(0, static_cast<std::int32_t>(most), what);
}

KClipSignal readSignal(KItemStreamReader& in, int depth) {
    KClipSignal signal;
    if (depth > KClipDataProvider::kMaxDepth) {
        in.fail("the signal tree is too deep");
        return signal;
    }
    signal.name = in.text();
    signal.mode = static_cast<std::uint32_t>(in.integer());
    signal.typeInfo = in.text();
    if (in.ok() && !signal.typeInfo.empty() && !KTypeInfo::CheckTypeInfo(signal.typeInfo))
        in.fail("signal \"" + signal.name + "\" has an unreadable type");
    const std::int32_t properties = countIn(in, kPropertyBytes, "a property count");
    const std::int32_t children = countIn(in, kSignalBytes, "an element count");
    in.end();
    for (std::int32_t i = 0; i < properties && in.ok(); ++i) {
        std::string key = in.text();
        signal.properties[key] = in.text();
        in.end();
    }
    for (std::int32_t i = 0; i < children && in.ok(); ++i)
        signal.children.push_back(readSignal(in, depth + 1));
    return signal;
}

// Elements named and typed as KDoc::createElements makes them; false when they would take more
// rows than `budget` has left.
bool addElements(KClipSignal& signal, const KTypeInfo& type, std::int64_t& budget) {
    const std::vector<std::string> suffixes = elementSuffixes(type);
    if (static_cast<std::int64_t>(suffixes.size()) > budget)
        return false;
    budget -= static_cast<std::int64_t>(suffixes.size());
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        KClipSignal element{
            suffixes[i], signal.mode, elementTypeInfo(type, static_cast<int>(i)), {}, {}};
        const std::optional<KTypeInfo> elementType = KTypeInfo::fromString(element.typeInfo);
        if (elementType && !addElements(element, *elementType, budget))
            return false;
        signal.children.push_back(std::move(element));
    }
    return true;
}

KSignalRecordPtr makeRecord(KDoc& doc, const KClipSignal& signal, const KSignalRecord* parent) {
    KSignalRecordPtr record = KSignalRecord::create();
    record->setMode(signal.mode);
    record->setTypeIndex(doc.types().registerType(signal.typeInfo));
    KWaveformReader::applyProperties(
        [&](std::string_view key) {
            const auto found = signal.properties.find(std::string(key));
            return found == signal.properties.end() ? std::string() : found->second;
        },
        *record);
    if (record->shape() != 0 &&
        !doc.types().isShapeAllowed(record->typeIndex(), static_cast<SignalShape>(record->shape())))
        record->setShape(0);
    if (parent == nullptr) {
        std::string name =
            record->isVirtualBus()
                ? (doc.findByName(signal.name) != 0 ? doc.newVirtualBusName() : signal.name)
                : doc.uniqueCopyName(signal.name);
        const std::size_t split = record->isVirtualBus() ? 0 : KWaveformReader::splitPoint(name);
        record->setHierarchyIndex(doc.hierarchy().intern(name.substr(0, split)));
        record->setName(name.substr(split));
    } else if (parent->isVirtualBus()) {
        record->setName(signal.name);
    } else {
        record->setName(parent->name() + signal.name);
        record->setParentNameLength(static_cast<std::uint16_t>(std::min<std::size_t>(
            parent->name().size(), std::numeric_limits<std::uint16_t>::max())));
        record->setHierarchyIndex(parent->hierarchyIndex());
    }
    for (const KClipSignal& child : signal.children)
        record->children().push_back(makeRecord(doc, child, record.get()));
    return record;
}

} // namespace

std::vector<KClipSignal> KClipDataProvider::describe(const KDoc& doc,
                                                     std::span<const SignalHandle> handles) {
    const KWaveformWriter writer(doc);
    std::vector<KClipSignal> out;
    for (SignalHandle handle : handles) {
        if (!doc.contains(handle))
            continue;
        const KSignalRecordPtr record = doc.record(handle);
        KClipSignal signal = describeRecord(doc, writer, *record, !record->isVirtualBus());
        // A copied element stands alone: it takes its full name.
        if (!record->isTopLevel())
            signal.name = doc.fullName(handle);
        out.push_back(std::move(signal));
    }
    return out;
}

std::vector<std::uint8_t> KClipDataProvider::block(const std::vector<KClipSignal>& signals) {
    if (signals.empty())
        return {};
    KItemStream out;
    out.text(kTitle).integer(static_cast<std::int32_t>(signals.size())).end();
    for (const KClipSignal& signal : signals)
        writeSignal(out, signal);
    return out.take();
}

std::optional<std::vector<KClipSignal>>
KClipDataProvider::parse(std::span<const std::uint8_t> block, std::string* error) {
    KItemStreamReader in(block);
    in.expectText(kTitle);
    const std::int32_t count = countIn(in, kSignalBytes, "the signal count");
    in.end();
    if (in.ok() && count == 0)
        in.fail("the list holds no signal");
    std::vector<KClipSignal> signals;
    for (std::int32_t i = 0; i < count && in.ok(); ++i)
        signals.push_back(readSignal(in, 0));
    if (in.ok() && !in.atEnd())
        in.fail("unexpected data after the signals");
    if (!in.ok()) {
        if (error != nullptr)
            *error = "damaged signal clipboard data: " + in.error();
        return std::nullopt;
    }
    return signals;
}

std::vector<KClipSignal>
KClipDataProvider::fromSignalList(const std::vector<KSignalClipboard::Entry>& entries) {
    std::vector<KClipSignal> out;
    for (const KSignalClipboard::Entry& entry : entries) {
        KClipSignal signal{entry.name, entry.mode, entry.typeInfo, {}, {}};
        std::int64_t budget = kMaxElementRows;
        const std::optional<KTypeInfo> type = KTypeInfo::fromString(entry.typeInfo);
        if (type && !addElements(signal, *type, budget))
            signal.children.clear();
        out.push_back(std::move(signal));
    }
    return out;
}

std::vector<KSignalRecordPtr> KClipDataProvider::records(KDoc& doc,
                                                         const std::vector<KClipSignal>& signals) {
    std::vector<KSignalRecordPtr> out;
    for (const KClipSignal& signal : signals)
        out.push_back(makeRecord(doc, signal, nullptr));
    return out;
}
