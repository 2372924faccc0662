#include "document/KClipPlacement.h"

#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KWaveComment.h"
#include "storage/KTypeInfo.h"

std::string KClipPlacement::layout(const KTypeInfo& type) {
    switch (type.GetKind()) {
    case KTypeInfo::Enumeration: {
        std::string out = "E(";
        for (int i = 0; i < type.GetNbOfValues(); ++i)
            out += type.GetLiteral(i) + ",";
        return out + ")";
    }
    case KTypeInfo::Integer:
        return (type.IsPhysical() ? "P" : "I") + std::to_string(type.GetSimpleSize());
    case KTypeInfo::Real:
        return "R";
    case KTypeInfo::Array:
        return "A" + std::to_string(type.GetNbOfElements()) + "(" + layout(type.elementType()) +
               ")";
    case KTypeInfo::Record: {
        std::string out = "{";
        for (int i = 0; i < type.GetNbOfFields(); ++i)
            out += layout(type.fieldType(i)) + ";";
        return out + "}";
    }
    case KTypeInfo::None:
        break;
    }
    return {};
}

bool KClipPlacement::fits(std::size_t index, SignalHandle target) const {
    if (index >= m_clip.signals.size() || !m_doc.contains(target))
        return false;
    const KClipWaveform::Signal& source = m_clip.signals[index];
    if (source.valueSize == 0 || m_doc.valueSize(target) != source.valueSize)
        return false;
    const KSignalRecordPtr record = m_doc.record(target);
    if (source.typeInfo.empty() || !record->hasTypeInfo())
        return true;
    const std::optional<KTypeInfo> sourceType = KTypeInfo::fromString(source.typeInfo);
    return sourceType && layout(*sourceType) == layout(m_doc.types().type(record->typeIndex()));
}

std::vector<SignalHandle> KClipPlacement::targetRows(std::size_t row, SimTime time) const {
    const std::size_t count = m_clip.signals.size();
    if (count == 0 || m_clip.length <= 0 || time < 0 || m_clip.length > kMaxTime - time ||
        row > m_doc.rowCount() || count > m_doc.rowCount() - row)
        return {};
    std::vector<SignalHandle> rows;
    for (std::size_t i = 0; i < count; ++i) {
        const SignalHandle target = m_doc.rows()[row + i];
        if (!fits(i, target))
            return {};
        rows.push_back(target);
    }
    return rows;
}

std::vector<KClipPlacement::Target> KClipPlacement::targets(std::size_t row, SimTime time) const {
    const std::vector<SignalHandle> rows = targetRows(row, time);
    std::vector<Target> out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Target target{rows[i], {}};
        for (const KClipWaveform::Event& event : m_clip.signals[i].events)
            target.events.push_back({time + event.offset, event.value});
        out.push_back(std::move(target));
    }
    return out;
}

std::vector<std::unique_ptr<KItemUI>> KClipPlacement::items(std::size_t row, SimTime time) const {
    const std::vector<SignalHandle> rows = targetRows(row, time);
    std::vector<std::unique_ptr<KItemUI>> out;
    if (rows.empty())
        return out;
    // Rows and offsets were checked when the piece was read or copied.
    for (const KClipWaveform::Comment& comment : m_clip.comments)
        out.push_back(std::make_unique<KWaveComment>(rows.at(comment.row), 0, time + comment.offset,
                                                     comment.text));
    for (const KClipWaveform::Extent& extent : m_clip.extents)
        out.push_back(
            std::make_unique<KEventsExtent>(rows.at(extent.startRow), time + extent.startOffset,
                                            rows.at(extent.endRow), time + extent.endOffset));
    return out;
}
