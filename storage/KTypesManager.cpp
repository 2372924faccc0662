#include "storage/KTypesManager.h"

#include "storage/TypeMakers.h"

namespace {

// Used when the maker cannot give std_logic, so that index 1 is std_logic whatever happens.
constexpr std::string_view kFixedStdLogic = "e#9#std_logicc9 UX01ZWLH-";

} // namespace

KTypesManager::KTypesManager() {
    const std::optional<std::string> stdLogic =
        makeStdTypeInfo(static_cast<int>(StandardType::StdLogic));
    if (!stdLogic || registerType(*stdLogic) != kStdLogicIndex)
        registerType(kFixedStdLogic);
}

KTypesManager::TypeIndex KTypesManager::registerType(std::string_view typeInfo) {
    if (typeInfo.empty())
        return kNoType;
    std::string key(typeInfo);
    if (auto found = m_indexByString.find(key); found != m_indexByString.end())
        return found->second;
    std::optional<KTypeInfo> type = KTypeInfo::fromString(typeInfo);
    if (!type)
        return kNoType;
    m_entries.push_back(makeEntry(std::move(*type)));
    const auto index = static_cast<TypeIndex>(m_entries.size());
    m_indexByString.emplace(std::move(key), index);
    return index;
}

KTypesManager::Entry KTypesManager::makeEntry(KTypeInfo type) {
    Entry entry{std::move(type), {}, {}};
    if (!entry.type.IsStdLogicConversionAllowed())
        return entry;
    const std::uint32_t size = entry.type.GetSimpleSize();
    const std::uint32_t scalar = entry.type.GetScalarSize();
    if (scalar == 0 || scalar > size)
        return entry;
    std::vector<std::uint8_t> zero(size), one(size);
    if (entry.type.GetBytes("0", zero.data(), size, 0, false) &&
        entry.type.GetBytes("1", one.data(), size, 0, false)) {
        zero.resize(scalar);
        one.resize(scalar);
        entry.zero = std::move(zero);
        entry.one = std::move(one);
    }
    return entry;
}

const KTypesManager::Entry* KTypesManager::entry(TypeIndex index) const {
    if (index == kNoType || index > m_entries.size())
        return nullptr;
    return &m_entries[index - 1];
}

bool KTypesManager::hasType(TypeIndex index) const {
    return entry(index) != nullptr;
}

const KTypeInfo& KTypesManager::type(TypeIndex index) const {
    static const KTypeInfo kNone;
    const Entry* found = entry(index);
    return found ? found->type : kNone;
}

std::optional<std::span<const std::uint8_t>> KTypesManager::zeroImage(TypeIndex index) const {
    const Entry* found = entry(index);
    if (!found || found->zero.empty())
        return std::nullopt;
    return std::span<const std::uint8_t>(found->zero);
}

std::optional<std::span<const std::uint8_t>> KTypesManager::oneImage(TypeIndex index) const {
    const Entry* found = entry(index);
    if (!found || found->one.empty())
        return std::nullopt;
    return std::span<const std::uint8_t>(found->one);
}

bool KTypesManager::isRadixAllowed(TypeIndex index) const {
    const Entry* found = entry(index);
    return found && found->type.IsRadixAllowed();
}

bool KTypesManager::isInversionAllowed(TypeIndex index) const {
    const Entry* found = entry(index);
    return found && found->type.IsInversionAllowed();
}

bool KTypesManager::isShapeAllowed(TypeIndex index, SignalShape shape) const {
    const Entry* found = entry(index);
    if (!found)
        return shape == SignalShape::Literal;
    const KTypeInfo& type = found->type;
    switch (shape) {
    case SignalShape::Analog:
        return type.GetKind() == KTypeInfo::Integer || type.GetKind() == KTypeInfo::Real ||
               (type.GetKind() == KTypeInfo::Array && type.IsRadixAllowed());
    case SignalShape::Literal:
        return true;
    case SignalShape::Logic:
        return type.IsStdLogicConversionAllowed();
    }
    return false;
}

StdLogic KTypesManager::stdLogicValue(TypeIndex index, const std::uint8_t* value) const {
    const Entry* found = entry(index);
    if (!found || value == nullptr)
        return StdLogic::X;
    return found->type.ConvertToStdLogicValue(value);
}
