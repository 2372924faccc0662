#include "document/KWaveformWriter.h"

#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KStoreEventsQuery.h"
#include "document/KWaveComment.h"
#include "storage/KFileException.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace {

std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

} // namespace

std::string KWaveformWriter::rangeEndText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%#.5G", value);
    return text;
}

bool KWaveformWriter::defaultAnalogRange(const KTypeInfo& type, double& low, double& high) {
    int direction = 0;
    switch (type.GetKind()) {
    case KTypeInfo::Integer: {
        std::int64_t left = 0;
        std::int64_t right = 0;
        if (!type.GetIntRanges(left, right, direction))
            return false;
        low = static_cast<double>(left);
        high = static_cast<double>(right);
        break;
    }
    case KTypeInfo::Real:
        if (!type.GetRealRanges(low, high, direction))
            return false;
        break;
    case KTypeInfo::Array: {
        const std::int64_t bits = std::clamp<std::int64_t>(type.GetNbOfElements(), 0, 63);
        low = 0.0;
        high = std::ldexp(1.0, static_cast<int>(bits)) - 1.0;
        return true;
    }
    default:
        return false;
    }
    if (direction == KTypeInfo::Downto)
        std::swap(low, high);
    return true;
}

std::map<std::string, std::string> KWaveformWriter::properties(const KSignalRecord& record) const {
    std::map<std::string, std::string> out;
    if (record.hasAnalogRange() && record.hasTypeInfo()) {
        double low = 0.0;
        double high = 0.0;
        if (defaultAnalogRange(m_doc.types().type(record.typeIndex()), low, high) &&
            (record.analogLow() != low || record.analogHigh() != high))
            out["Analog range"] =
                rangeEndText(record.analogLow()) + " " + rangeEndText(record.analogHigh());
    }
    if (record.isBold())
        out["Bold"] = "1";
    if (record.color() != KSignalRecord::kAutomaticColor)
        out["Color"] = decimal(record.color());
    if (record.height() != KSignalRecord::kDefaultHeight)
        out["Height"] = decimal(record.height());
    if (record.isInverted())
        out["Inverted"] = "1";
    if (record.radix() > 0)
        out["Radix"] = decimal(record.radix());
    if (record.shape() != 0)
        out["Shape"] = decimal(record.shape());
    if (!record.segments().empty() && record.segments().begin()->second.from().time > 0)
        out["StartTime"] = decimal(record.segments().begin()->second.from().time);
    if (!record.stimulator().empty())
        out["Stimulator"] = record.stimulator();
    if (record.isVirtualBus())
        out["VBus"] = "1";
    return out;
}

SimTime KWaveformWriter::endTime(const KSignalRecord& record) const {
    if (record.children().empty())
        return record.segments().lastTime();
    SimTime latest = kNoTime;
    for (const KSignalRecordPtr& child : record.children())
        latest = std::max(latest, endTime(*child));
    return latest;
}

void KWaveformWriter::declare(KEventsWriteHandle& sink, const KSignalRecord& record,
                              SignalHandle parent, int index, bool parentIsVirtualBus) const {
    evstream::SignalInfo info;
    const bool designPath = parent == kNoSignal ? !record.isVirtualBus() : parentIsVirtualBus;
    if (designPath)
        info.name = m_doc.hierarchyText(record.hierarchyIndex()) + record.name();
    else
        info.name = record.name().substr(
            std::min<std::size_t>(record.parentNameLength(), record.name().size()));
    info.parent = parent;
    info.index = index;
    info.mode = static_cast<int>(record.mode());
    info.endTime = endTime(record);
    info.isComposite = !record.children().empty();
    info.childCount = static_cast<int>(record.children().size());
    if (info.isComposite)
        sink.declareComposite(record.handle(), info);
    else
        sink.declareScalar(record.handle(), info);
    sink.setProperties(record.handle(), properties(record));
    int childIndex = 0;
    for (const KSignalRecordPtr& child : record.children())
        declare(sink, *child, record.handle(), childIndex++, record.isVirtualBus());
}

void KWaveformWriter::writeAnnotations(KEventsWriteHandle& sink) const {
    for (const std::unique_ptr<KItemUI>& item : m_doc.items()) {
        if (item->kind() == KItemUI::Kind::Comment) {
            const auto& comment = static_cast<const KWaveComment&>(*item);
            sink.addAnnotation(comment.signal(), comment.time(), "Comment",
                               std::to_string(comment.rowPosition()) + "," + comment.text());
        } else if (item->kind() == KItemUI::Kind::Measurement) {
            const auto& extent = static_cast<const KEventsExtent&>(*item);
            char text[96];
            std::snprintf(text, sizeof text, "%d,%d,%" PRId64, extent.rowPosition(),
                          static_cast<int>(extent.endSignal()),
                          static_cast<std::int64_t>(extent.duration()));
            sink.addAnnotation(extent.signal(), extent.startTime(), "Measurement", text);
        }
    }
}

void KWaveformWriter::writeTypes(KEventsWriteHandle& sink, const KSignalRecord& record) const {
    if (record.hasTypeInfo()) {
        const std::string& text = m_doc.types().type(record.typeIndex()).GetTypeInfoString();
        if (!text.empty())
            sink.setTypeInfoString(record.handle(), text);
    }
    for (const KSignalRecordPtr& child : record.children())
        writeTypes(sink, *child);
}

void KWaveformWriter::writeEvents(KEventsWriteHandle& sink, const std::vector<SignalHandle>& tops,
                                  SimTime limit) const {
    if (limit == kNoTime)
        limit = m_doc.endTime();
    if (limit == kNoTime)
        return; // no segments at all: nothing to write
    KStoreEventsQuery query(m_doc, limit);
    for (SignalHandle top : tops)
        query.addLeavesOf(top);
    query.writeTo(sink);
}

void KWaveformWriter::writeAll(const std::string& path, const std::vector<SignalHandle>& tops,
                               bool annotations, SimTime limit) const {
    KEventsWriteHandle sink = KEventsWriteHandle::createDatabase(path);
    if (!sink)
        throw KFileException::generic(path, "cannot create the file");
    sink.beginDeclarations();
    for (SignalHandle top : tops)
        declare(sink, *m_doc.record(top), kNoSignal, 0, false);
    if (annotations)
        writeAnnotations(sink);
    sink.endDeclarations();
    for (SignalHandle top : tops)
        writeTypes(sink, *m_doc.record(top));
    writeEvents(sink, tops, limit);
    sink.close();
}

void KWaveformWriter::write(const std::string& path, SimTime limit) const {
    std::vector<SignalHandle> tops;
    for (SignalHandle row : m_doc.rows()) {
        const KSignalRecordPtr record = m_doc.record(row);
        if (record && !record->isReadOnly())
            tops.push_back(row);
    }
    writeAll(path, tops, true, limit);
}

void KWaveformWriter::writeSignal(SignalHandle handle, const std::string& path,
                                  SimTime limit) const {
    if (!m_doc.contains(handle))
        throw KFileException::generic(path, "the signal to write is not in the document");
    writeAll(path, {handle}, false, limit);
}
