#include "storage/KTypeInfo.h"

#include "storage/KTypeInfoNode.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace typeinfo {

std::uint32_t readOrdinal(const Node& node, const std::uint8_t* value) {
    if (node.size == 1)
        return value[0];
    std::uint32_t ordinal;
    std::memcpy(&ordinal, value, 4);
    return ordinal;
}

void writeOrdinal(const Node& node, std::uint8_t* value, std::uint32_t ordinal) {
    if (node.size == 1)
        value[0] = static_cast<std::uint8_t>(ordinal);
    else
        std::memcpy(value, &ordinal, 4);
}

std::int64_t readInteger(const Node& node, const std::uint8_t* value) {
    if (node.size == 4) {
        std::int32_t number;
        std::memcpy(&number, value, 4);
        return number;
    }
    std::int64_t number;
    std::memcpy(&number, value, 8);
    return number;
}

void writeInteger(const Node& node, std::uint8_t* value, std::int64_t number) {
    if (node.size == 4) {
        auto narrow = static_cast<std::int32_t>(number);
        std::memcpy(value, &narrow, 4);
    } else {
        std::memcpy(value, &number, 8);
    }
}

double readReal(const std::uint8_t* value) {
    double number;
    std::memcpy(&number, value, 8);
    return number;
}

void writeReal(std::uint8_t* value, double number) {
    std::memcpy(value, &number, 8);
}

std::int64_t ordinalOfChar(const Node& node, unsigned char c) {
    auto it = std::lower_bound(node.charOrdinals.begin(), node.charOrdinals.end(),
                               std::pair<std::uint8_t, std::uint32_t>{c, 0});
    if (it == node.charOrdinals.end() || it->first != c)
        return -1;
    return it->second;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](unsigned char x, unsigned char y) { return lower(x) == lower(y); });
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::string_view trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::int64_t findLiteral(const Node& node, std::string_view text) {
    const bool quoted = text.size() == 3 && text.front() == '\'' && text.back() == '\'';
    if (quoted) {
        if (std::int64_t ordinal = ordinalOfChar(node, static_cast<unsigned char>(text[1]));
            ordinal >= 0 || !node.allCharacters)
            return ordinal;
        text = text.substr(1, 1); // 'z' for std_logic: only the letter case differs
    }
    if (text.size() == 1) {
        auto c = static_cast<unsigned char>(text[0]);
        if (std::int64_t ordinal = ordinalOfChar(node, c); ordinal >= 0)
            return ordinal;
    }
    if (auto it = node.identifierOrdinals.find(lowered(text));
        !quoted && it != node.identifierOrdinals.end())
        return it->second;
    if (text.size() == 1 && node.allCharacters) {
        // 'x', 'z', 'u', 'w', 'l', 'h' for std_logic: a letter in the other case.
        auto c = static_cast<unsigned char>(text[0]);
        if (c >= 'a' && c <= 'z')
            return ordinalOfChar(node, static_cast<unsigned char>(c - 'a' + 'A'));
        if (c >= 'A' && c <= 'Z')
            return ordinalOfChar(node, static_cast<unsigned char>(c - 'A' + 'a'));
    }
    return -1;
}

void invertValue(const Node& node, std::uint8_t* value) {
    switch (node.kind) {
    case KTypeInfo::Enumeration: {
        std::uint32_t ordinal = readOrdinal(node, value);
        if (ordinal < node.inverse.size())
            writeOrdinal(node, value, node.inverse[ordinal]);
        break;
    }
    case KTypeInfo::Array:
        if (node.element->kind == KTypeInfo::Enumeration) {
            for (std::int64_t i = 0; i < node.elementCount; ++i)
                invertValue(*node.element, value + i * node.element->size);
        }
        break;
    default:
        break;
    }
}

bool isSignedArray(const Node& array) {
    return equalsIgnoreCase(array.name, "signed");
}

} // namespace typeinfo

using typeinfo::Node;

KTypeInfo::KTypeInfo() = default;

KTypeInfo::KTypeInfo(std::shared_ptr<const void> owner, const Node* node)
    : m_owner(std::move(owner)), m_node(node) {}

std::optional<KTypeInfo> KTypeInfo::fromString(std::string_view text, std::string* error) {
    auto tree = typeinfo::parseTypeString(text, error);
    if (!tree)
        return std::nullopt;
    const Node* root = tree->nodes.front().get();
    return KTypeInfo(std::move(tree), root);
}

bool KTypeInfo::CheckTypeInfo(std::string_view text) {
    return fromString(text).has_value();
}

const std::string& KTypeInfo::GetTypeInfoString() const {
    static const std::string empty;
    return m_node ? m_node->text : empty;
}

std::string KTypeInfo::GetTypeName() const {
    return m_node ? m_node->name : std::string();
}

std::string KTypeInfo::GetTypeIdentifier() const {
    if (!m_node || m_node->kind != Array)
        return GetTypeName();
    std::string text = m_node->name + "(";
    for (std::size_t i = 0; i < m_node->dimensions.size(); ++i) {
        const auto& range = m_node->dimensions[i];
        text += (i ? ", " : "") + std::to_string(range.left) +
                (range.direction == Downto ? " downto " : " to ") + std::to_string(range.right);
    }
    return text + ")";
}

KTypeInfo::Kind KTypeInfo::GetKind() const {
    return m_node ? m_node->kind : None;
}
bool KTypeInfo::IsPhysical() const {
    return m_node && m_node->physical;
}

bool KTypeInfo::IsScalar() const {
    Kind kind = GetKind();
    return kind == Enumeration || kind == Integer || kind == Real;
}

bool KTypeInfo::IsSimple() const {
    if (IsScalar())
        return true;
    return GetKind() == Array && elementType().IsScalar();
}

std::uint32_t KTypeInfo::GetSimpleSize() const {
    return m_node ? m_node->size : 0;
}
std::uint32_t KTypeInfo::GetScalarSize() const {
    return m_node ? m_node->scalarSize : 0;
}

int KTypeInfo::GetNbOfValues() const {
    return GetKind() == Enumeration ? static_cast<int>(m_node->literals.size()) : 0;
}

std::string KTypeInfo::GetLiteral(int index) const {
    if (index < 0 || index >= GetNbOfValues())
        return {};
    return m_node->literals[static_cast<std::size_t>(index)];
}

std::int64_t KTypeInfo::GetNbOfElements() const {
    return GetKind() == Array ? m_node->elementCount : 0;
}

int KTypeInfo::GetNbOfDimensions() const {
    return GetKind() == Array ? static_cast<int>(m_node->dimensions.size()) : 0;
}

bool KTypeInfo::GetArrayDimensionRanges(int dimension, std::int64_t& left, std::int64_t& right,
                                        int& direction) const {
    if (dimension < 0 || dimension >= GetNbOfDimensions())
        return false;
    const auto& range = m_node->dimensions[static_cast<std::size_t>(dimension)];
    left = range.left;
    right = range.right;
    direction = range.direction;
    return true;
}

std::string KTypeInfo::GetArrayElementTypeInfo() const {
    return elementType().GetTypeInfoString();
}

KTypeInfo KTypeInfo::elementType() const {
    if (GetKind() != Array)
        return {};
    return KTypeInfo(m_owner, m_node->element);
}

int KTypeInfo::GetNbOfFields() const {
    return GetKind() == Record ? static_cast<int>(m_node->fields.size()) : 0;
}

std::string KTypeInfo::GetFieldName(int index) const {
    if (index < 0 || index >= GetNbOfFields())
        return {};
    return m_node->fields[static_cast<std::size_t>(index)].name;
}

std::string KTypeInfo::GetFieldTypeInfo(int index) const {
    return fieldType(index).GetTypeInfoString();
}

KTypeInfo KTypeInfo::fieldType(int index) const {
    if (index < 0 || index >= GetNbOfFields())
        return {};
    return KTypeInfo(m_owner, m_node->fields[static_cast<std::size_t>(index)].type);
}

std::uint32_t KTypeInfo::fieldOffset(int index) const {
    if (index < 0 || index >= GetNbOfFields())
        return 0;
    return m_node->fields[static_cast<std::size_t>(index)].offset;
}

bool KTypeInfo::GetIntRanges(std::int64_t& left, std::int64_t& right, int& direction) const {
    if (GetKind() != Integer)
        return false;
    left = m_node->left;
    right = m_node->right;
    direction = m_node->direction;
    return true;
}

bool KTypeInfo::GetRealRanges(double& left, double& right, int& direction) const {
    if (GetKind() != Real)
        return false;
    left = m_node->realLeft;
    right = m_node->realRight;
    direction = m_node->direction;
    return true;
}

bool KTypeInfo::IsRadixAllowed() const {
    if (GetKind() == Integer)
        return !m_node->physical;
    return GetKind() == Array && m_node->dimensions.size() == 1 &&
           m_node->element->kind == Enumeration && m_node->element->bitLike;
}

bool KTypeInfo::IsInversionAllowed() const {
    const Node* node = m_node;
    if (GetKind() == Array)
        node = m_node->element;
    return node && node->kind == Enumeration && (node->bitLike || node->booleanLike);
}

bool KTypeInfo::IsStdLogicConversionAllowed() const {
    return GetKind() == Enumeration && (m_node->stdLogicLike || m_node->booleanLike);
}

StdLogic KTypeInfo::ConvertToStdLogicValue(const std::uint8_t* value) const {
    if (GetKind() != Enumeration || !value)
        return StdLogic::X;
    std::uint32_t ordinal = typeinfo::readOrdinal(*m_node, value);
    return ordinal < m_node->stdLogic.size() ? m_node->stdLogic[ordinal] : StdLogic::X;
}

bool KTypeInfo::GetDecimalValue(const std::uint8_t* value, unsigned flags,
                                std::int64_t& result) const {
    if (!m_node || (!value && m_node->size))
        return false;
    switch (GetKind()) {
    case Enumeration: {
        std::uint32_t ordinal = typeinfo::readOrdinal(*m_node, value);
        if (ordinal >= m_node->literals.size())
            return false;
        result = ordinal;
        return true;
    }
    case Integer:
        result = typeinfo::readInteger(*m_node, value);
        return true;
    case Array: {
        const Node& element = *m_node->element;
        if (element.kind != Enumeration || !element.bitLike || m_node->elementCount > 64)
            return false;
        std::uint64_t bits = 0;
        for (std::int64_t i = 0; i < m_node->elementCount; ++i) {
            std::uint32_t ordinal = typeinfo::readOrdinal(element, value + i * element.size);
            int bit = ordinal < element.bitValue.size() ? element.bitValue[ordinal] : -1;
            if (bit < 0)
                return false;
            bits = (bits << 1) | static_cast<unsigned>(bit);
        }
        auto width = static_cast<unsigned>(m_node->elementCount);
        if ((flags & Signed) && width > 0 && width < 64 && (bits >> (width - 1)) & 1)
            bits |= ~std::uint64_t{0} << width; // sign extension
        result = static_cast<std::int64_t>(bits);
        return true;
    }
    default:
        return false;
    }
}

bool KTypeInfo::GetBytes(std::string_view text, std::uint8_t* value, std::uint32_t size, int radix,
                         bool inverted) const {
    if (!m_node || (!value && m_node->size) || size < m_node->size)
        return false;
    // Into a scratch buffer first: a failed parse leaves the caller's bytes as they were.
    std::string scratch(m_node->size, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(scratch.data());
    if (!typeinfo::scanValue(*m_node, text, bytes, radix))
        return false;
    if (inverted && IsInversionAllowed())
        typeinfo::invertValue(*m_node, bytes);
    if (m_node->size)
        std::memcpy(value, bytes, m_node->size);
    return true;
}

std::string KTypeInfo::GetValueString(const std::uint8_t* value, int radix, bool inverted) const {
    if (!m_node || (!value && m_node->size)) // a null array needs no bytes
        return {};
    if (inverted && IsInversionAllowed()) {
        std::string copy(reinterpret_cast<const char*>(value), m_node->size);
        auto* bytes = reinterpret_cast<std::uint8_t*>(copy.data());
        typeinfo::invertValue(*m_node, bytes);
        return typeinfo::formatValue(*m_node, bytes, radix);
    }
    return typeinfo::formatValue(*m_node, value, radix);
}

bool operator==(const KTypeInfo& a, const KTypeInfo& b) {
    return a.GetTypeInfoString() == b.GetTypeInfoString();
}
