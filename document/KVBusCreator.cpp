#include "document/KVBusCreator.h"

#include "storage/TypeMakers.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

constexpr std::string_view kBusTypeName = "new_type_name";

} // namespace

std::optional<std::string> KVBusCreator::busTypeInfo(std::span<const SignalHandle> selected) const {
    std::vector<KSignalRecordPtr> members;
    for (SignalHandle handle : selected) {
        KSignalRecordPtr member = m_doc.contains(handle) ? m_doc.record(handle) : nullptr;
        if (!member || !member->hasTypeInfo())
            return std::nullopt;
        members.push_back(std::move(member));
    }
    if (members.empty())
        return std::nullopt;
    const KTypesManager& types = m_doc.types();
    const auto sameType = [&](const KSignalRecordPtr& m) {
        return m->typeIndex() == members.front()->typeIndex();
    };
    if (std::all_of(members.begin(), members.end(), sameType)) {
        const ArrayRange range{0, static_cast<std::int64_t>(members.size()) - 1, 0};
        return makeArrayTypeInfo(kBusTypeName, std::span(&range, 1),
                                 types.type(members.front()->typeIndex()).GetTypeInfoString());
    }
    std::vector<TRecordField> fields(members.size());
    for (std::size_t i = 0; i < members.size(); ++i)
        fields[i].SetBoth(members[i]->name() + std::to_string(i),
                          types.type(members[i]->typeIndex()).GetTypeInfoString());
    return makeRecordTypeInfo(kBusTypeName, fields);
}

SignalHandle KVBusCreator::create(std::span<const SignalHandle> selected) {
    std::vector<KSignalRecordPtr> members;
    std::set<SignalHandle> seen;
    for (SignalHandle handle : selected) {
        if (!seen.insert(handle).second)
            continue;
        KSignalRecordPtr member = m_doc.contains(handle) ? m_doc.record(handle) : nullptr;
        if (!member)
            return 0;
        if (!member->isTopLevel()) {
            const KSignalRecordPtr parent = m_doc.record(member->parent());
            if (!parent || !parent->isVirtualBus())
                return 0;
        }
        members.push_back(std::move(member));
    }
    if (members.empty())
        return 0;

    std::vector<SignalHandle> ordered;
    for (const KSignalRecordPtr& member : members)
        ordered.push_back(member->handle());
    const std::optional<std::string> typeInfo = busTypeInfo(ordered);

    KSignalRecordPtr bus = KSignalRecord::create(m_doc.newVirtualBusName());
    bus->setVirtualBus(true);
    const SignalHandle busHandle = m_doc.addRecord(bus);
    if (typeInfo)
        m_doc.setTypeInfo(busHandle, m_doc.types().registerType(*typeInfo));

    std::optional<std::size_t> row;
    for (const KSignalRecordPtr& member : members) {
        if (const std::optional<std::size_t> at = m_doc.rowOf(member->handle()))
            row = std::min(*at, row.value_or(*at));
        if (!member->isTopLevel())
            std::erase(m_doc.record(member->parent())->children(), member);
        m_doc.useFullNameAsName(member->handle());
        member->setParent(busHandle);
        member->setParentNameLength(0);
        bus->children().push_back(member);
    }
    m_doc.removeRows(ordered);
    const SignalHandle busRow[] = {busHandle};
    m_doc.insertRows(row.value_or(m_doc.rowCount()), busRow);

    const KSignalsSet added{busHandle};
    m_doc.broadcast(UpdateHint::SignalsAddedRemoved, &added);
    return busHandle;
}
