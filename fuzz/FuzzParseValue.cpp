// Value texts against arbitrary types: the input is a type-information string, a line feed, and
// a value text. The text is parsed into a zeroed buffer in every radix and formatted back, once
// for the signal as a single node and once as a tree of child rows mirroring its type.

#include "storage/ValueText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct FuzzNode : IValueNode {
    std::uint32_t index = 0;
    int ownRadix = 0;
    std::vector<FuzzNode> children;

    // IValueNode
    std::uint32_t typeIndex() const override { return index; }
    int radix() const override { return ownRadix; }
    bool isInverted() const override { return (index & 1) != 0; }
    int childCount() const override { return static_cast<int>(children.size()); }
    const IValueNode& child(int i) const override { return children[static_cast<std::size_t>(i)]; }
};

// Child rows for the fields of records and the elements of arrays, a few levels deep.
FuzzNode treeOf(KTypesManager& types, const std::string& typeInfo, int depth) {
    FuzzNode node;
    node.index = types.registerType(typeInfo);
    const KTypeInfo type = types.type(node.index);
    if (depth >= 3 || !type.isValid())
        return node;
    if (type.GetKind() == KTypeInfo::Record) {
        for (int i = 0; i < type.GetNbOfFields() && i < 8; ++i)
            node.children.push_back(treeOf(types, type.GetFieldTypeInfo(i), depth + 1));
    } else if (type.GetKind() == KTypeInfo::Array && type.GetNbOfElements() <= 8) {
        for (std::int64_t i = 0; i < type.GetNbOfElements(); ++i)
            node.children.push_back(treeOf(types, type.GetArrayElementTypeInfo(), depth + 1));
    }
    return node;
}

void roundTrip(const KTypesManager& types, const FuzzNode& node, std::string_view text) {
    const std::size_t size = valueSize(types, node);
    if (size > (1u << 20))
        return;
    for (int radix : {0, 2, 8, 10, 16}) {
        std::vector<std::uint8_t> buffer(size);
        std::size_t position = 0;
        ParseValue(types, text, node, buffer, position, radix);
        position = 0;
        FormatValue(types, node, buffer, position, {radix, (radix & 2) != 0});
    }
    // A value cut short must show as absent, never be read past its end.
    std::vector<std::uint8_t> shorter(size / 2);
    std::size_t position = 0;
    FormatValue(types, node, shorter, position, {0, true});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), data ? size : 0);
    const std::size_t split = input.find('\n');
    if (split == std::string_view::npos)
        return 0;
    const std::string typeInfo(input.substr(0, split));
    const std::string_view text = input.substr(split + 1);

    KTypesManager types;
    FuzzNode single;
    single.index = types.registerType(typeInfo);
    roundTrip(types, single, text);
    roundTrip(types, treeOf(types, typeInfo, 0), text);
    return 0;
}
