#include "document/ElementNames.h"

#include <string_view>

namespace {

struct Dimension {
    std::int64_t left = 0;
    std::int64_t count = 0;
    std::int64_t step = 1;
};

// The number of indices of a range, 0 for a null range, -1 when more than kMaxElementRows.
std::int64_t rangeLength(std::int64_t left, std::int64_t right, int direction) {
    const bool downto = direction == KTypeInfo::Downto;
    const std::int64_t low = downto ? right : left;
    const std::int64_t high = downto ? left : right;
    if (low > high)
        return 0;
    std::int64_t span = 0;
    if (__builtin_sub_overflow(high, low, &span) || span >= kMaxElementRows)
        return -1;
    return span + 1;
}

std::vector<std::string> arraySuffixes(const KTypeInfo& type) {
    const int dimensionCount = type.GetNbOfDimensions();
    std::vector<Dimension> dimensions;
    std::int64_t total = 1;
    for (int d = 0; d < dimensionCount; ++d) {
        std::int64_t left = 0, right = 0;
        int direction = 0;
        if (!type.GetArrayDimensionRanges(d, left, right, direction))
            return {};
        const std::int64_t count = rangeLength(left, right, direction);
        if (count < 0 || (count > 0 && total > kMaxElementRows / count))
            return {};
        total *= count;
        dimensions.push_back({left, count, direction == KTypeInfo::Downto ? -1 : 1});
    }
    if (dimensions.empty() || total == 0)
        return {};
    std::vector<std::string> suffixes;
    suffixes.reserve(static_cast<std::size_t>(total));
    std::vector<std::int64_t> position(dimensions.size(), 0);
    for (std::int64_t n = 0; n < total; ++n) {
        std::string suffix = "(";
        for (std::size_t d = 0; d < dimensions.size(); ++d) {
            if (d != 0)
                suffix += ',';
            suffix += std::to_string(dimensions[d].left + position[d] * dimensions[d].step);
        }
        suffix += ')';
        suffixes.push_back(std::move(suffix));
        // The last dimension varies fastest.
        for (std::size_t d = dimensions.size(); d-- > 0;) {
            if (++position[d] < dimensions[d].count)
                break;
            position[d] = 0;
        }
    }
    return suffixes;
}

} // namespace

std::vector<std::string> elementSuffixes(const KTypeInfo& type) {
    switch (type.GetKind()) {
    case KTypeInfo::Array:
        return arraySuffixes(type);
    case KTypeInfo::Record: {
        std::vector<std::string> suffixes;
        const int fieldCount = type.GetNbOfFields();
        for (int i = 0; i < fieldCount && i < kMaxElementRows; ++i)
            suffixes.push_back("." + type.GetFieldName(i));
        return suffixes;
    }
    default:
        return {};
    }
}

std::string elementTypeInfo(const KTypeInfo& type, int index) {
    switch (type.GetKind()) {
    case KTypeInfo::Array:
        return type.GetArrayElementTypeInfo();
    case KTypeInfo::Record:
        return type.GetFieldTypeInfo(index);
    default:
        return {};
    }
}
