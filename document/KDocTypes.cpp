#include "document/ElementNames.h"
#include "document/KDoc.h"
#include "storage/ValueText.h"

#include <algorithm>
#include <limits>

bool KDoc::setTypeInfo(SignalHandle handle, TypeIndex index) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end() || (index != 0 && !m_types.hasType(index)))
        return false;
    KSignalRecord& record = *found->second;
    record.setTypeIndex(index);
    const std::uint32_t shape = record.shape();
    if (shape != 0) {
        const bool known = shape >= static_cast<std::uint32_t>(SignalShape::Analog) &&
                           shape <= static_cast<std::uint32_t>(SignalShape::Logic);
        if (!known || !m_types.isShapeAllowed(index, static_cast<SignalShape>(shape)))
            record.setShape(0);
    }
    return true;
}

namespace {

// How many element rows a type breaks into, all levels together; -1 beyond kMaxElementRows.
std::int64_t elementRowCount(const KTypeInfo& type, std::int64_t limit) {
    std::int64_t total = 0;
    const KTypeInfo::Kind kind = type.GetKind();
    if (kind == KTypeInfo::Array) {
        const std::int64_t count = type.GetNbOfElements();
        if (count < 0 || count > limit)
            return -1;
        const std::int64_t below = elementRowCount(type.elementType(), limit);
        if (below < 0 || (count > 0 && below > (limit - count) / count))
            return -1;
        total = count + count * below;
    } else if (kind == KTypeInfo::Record) {
        for (int i = 0; i < type.GetNbOfFields(); ++i) {
            const std::int64_t below = elementRowCount(type.fieldType(i), limit - total - 1);
            if (below < 0)
                return -1;
            total += 1 + below;
        }
    }
    return total <= limit ? total : -1;
}

} // namespace

bool KDoc::createElements(SignalHandle handle) {
    const KSignalRecordPtr found = contains(handle) ? record(handle) : nullptr;
    if (!found || !found->children().empty())
        return false;
    const KTypeInfo& type = m_types.type(found->typeIndex());
    if (elementRowCount(type, kMaxElementRows) <= 0)
        return false;
    createElementsOf(found);
    return true;
}

void KDoc::createElementsOf(const KSignalRecordPtr& parent) {
    // Copied: registering element types below may grow the types table.
    const KTypeInfo type = m_types.type(parent->typeIndex());
    const std::vector<std::string> suffixes = elementSuffixes(type);
    const auto parentLength = static_cast<std::uint16_t>(
        std::min<std::size_t>(parent->name().size(), std::numeric_limits<std::uint16_t>::max()));
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        KSignalRecordPtr element = KSignalRecord::create(parent->name() + suffixes[i]);
        element->setParentNameLength(parentLength);
        element->setHierarchyIndex(parent->hierarchyIndex());
        element->setMode(parent->mode());
        element->setTypeIndex(m_types.registerType(elementTypeInfo(type, static_cast<int>(i))));
        addRecord(element, parent->handle());
        createElementsOf(element);
    }
}

std::size_t KDoc::valueSize(SignalHandle handle) const {
    const KSignalRecordPtr found = record(handle);
    return found ? ::valueSize(m_types, *found) : 0;
}
