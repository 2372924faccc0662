// The parser of type-information strings (grammar: docs/type-strings.md).
//
// A recursive descent over the bytes that builds one immutable node per type. It trusts nothing:
// every count is checked against the bytes that remain and against the limits of
// KTypeInfoNode.h before anything is allocated, sizes are computed in 64 bits with a check after
// each multiplication, and the first error stops the parse with its byte offset.

#include "storage/KTypeInfoNode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace typeinfo {
namespace {

struct ParseError {
    std::size_t offset;
    std::string expected;
};

bool isCharacterLiteral(std::string_view literal) {
    return literal.size() == 3 && literal.front() == '\'' && literal.back() == '\'';
}

// An identifier usable in a value text: no blanks, controls, quotes or the separators of
// composite texts.
bool isIdentifierText(std::string_view text) {
    if (text.empty())
        return false;
    for (unsigned char c : text) {
        if (c <= ' ' || c == 0x7F || c == '(' || c == ')' || c == ',' || c == '"' || c == '&' ||
            c == '\'' || c == ';')
            return false;
    }
    return true;
}

class Parser {
public:
    Parser(std::string_view text, Tree& tree) : m_text(text), m_tree(tree) {}

    const Node* parseWhole() {
        const Node* node = parseType(1);
        if (m_pos != m_text.size())
            fail("the end of the string after a complete type");
        return node;
    }

private:
    [[noreturn]] void fail(std::string expected) const { throw ParseError{m_pos, expected}; }
    [[noreturn]] void failAt(std::size_t offset, std::string expected) const {
        throw ParseError{offset, expected};
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    void expect(char c, const char* what) {
        if (peek() != c || atEnd())
            fail(what);
        ++m_pos;
    }

    std::uint64_t parseCount(const char* what, std::uint64_t max) {
        std::size_t start = m_pos;
        std::uint64_t value = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            value = value * 10 + static_cast<unsigned>(peek() - '0');
            if (value > max)
                failAt(start, std::string(what) + " of at most " + std::to_string(max));
            ++m_pos;
        }
        if (m_pos == start)
            fail(std::string("a decimal ") + what);
        return value;
    }

    std::string parseName(const char* what) {
        expect('#', (std::string("'#' opening ") + what).c_str());
        std::size_t remaining = m_text.size() - m_pos;
        std::size_t start = m_pos;
        std::uint64_t length = parseCount("name length", remaining);
        expect('#', "'#' after the name length");
        if (length == 0)
            failAt(start, std::string("a non-empty ") + what);
        if (length > m_text.size() - m_pos)
            failAt(start, std::to_string(length) + " bytes of " + what + ", but the string ends");
        std::string name(m_text.substr(m_pos, length));
        m_pos += length;
        return name;
    }

    std::int64_t parseInteger(const char* what) {
        std::size_t start = m_pos;
        std::size_t end = m_pos;
        if (end < m_text.size() && m_text[end] == '-')
            ++end;
        while (end < m_text.size() && m_text[end] >= '0' && m_text[end] <= '9')
            ++end;
        std::int64_t value = 0;
        auto [ptr, ec] = std::from_chars(m_text.data() + start, m_text.data() + end, value);
        if (ec != std::errc() || ptr != m_text.data() + end)
            fail(std::string("a 64-bit integer ") + what);
        m_pos = end;
        return value;
    }

    double parseReal(const char* what) {
        // Restricted to [-]digits[.digits][e[+-]digits] so that "t" and "d" end the number.
        std::size_t start = m_pos;
        std::size_t end = m_pos;
        auto digits = [&] {
            std::size_t from = end;
            while (end < m_text.size() && m_text[end] >= '0' && m_text[end] <= '9')
                ++end;
            return end > from;
        };
        if (end < m_text.size() && m_text[end] == '-')
            ++end;
        bool ok = digits();
        if (ok && end < m_text.size() && m_text[end] == '.') {
            ++end;
            ok = digits();
        }
        if (ok && end < m_text.size() && (m_text[end] == 'e' || m_text[end] == 'E')) {
            ++end;
            if (end < m_text.size() && (m_text[end] == '+' || m_text[end] == '-'))
                ++end;
            ok = digits();
        }
        double value = 0;
        if (ok) {
            auto [ptr, ec] = std::from_chars(m_text.data() + start, m_text.data() + end, value);
            ok = ec == std::errc() && ptr == m_text.data() + end && std::isfinite(value);
        }
        if (!ok)
            fail(std::string("a finite real number ") + what);
        m_pos = end;
        return value;
    }

    int parseDirection() {
        char c = peek();
        if (atEnd() || (c != 't' && c != 'd'))
            fail("a direction, 't' (to) or 'd' (downto)");
        ++m_pos;
        return c == 't' ? KTypeInfo::To : KTypeInfo::Downto;
    }

    Node& newNode(KTypeInfo::Kind kind) {
        m_tree.nodes.push_back(std::make_unique<Node>());
        Node& node = *m_tree.nodes.back();
        node.kind = kind;
        return node;
    }

    const Node* parseType(int depth) {
        if (depth > kMaxDepth)
            fail("a type nested at most " + std::to_string(kMaxDepth) + " deep");
        std::size_t start = m_pos;
        Node* node = nullptr;
        switch (peek()) {
        case 'e':
            node = parseEnumeration();
            break;
        case 'i':
            node = parseInteger();
            break;
        case 'f':
            node = parseRealType();
            break;
        case 'p':
            node = parsePhysical();
            break;
        case 'a':
            node = parseArray(depth);
            break;
        case 'r':
            node = parseRecord(depth);
            break;
        default:
            fail("a type: 'e', 'i', 'f', 'p', 'a' or 'r'");
        }
        node->text = std::string(m_text.substr(start, m_pos - start));
        return node;
    }

    Node* parseEnumeration() {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Enumeration);
        node.name = parseName("the type name");
        char form = peek();
        if (atEnd() || (form != 'c' && form != 'l'))
            fail("'c' (character literals) or 'l' (literal list)");
        ++m_pos;
        std::size_t countAt = m_pos;
        auto count = static_cast<std::size_t>(parseCount("literal count", kMaxLiterals));
        if (count == 0)
            failAt(countAt, "at least one literal");
        if (form == 'c') {
            expect(' ', "a blank before the characters");
            if (count > m_text.size() - m_pos)
                failAt(countAt, std::to_string(count) + " characters, but the string ends");
            for (std::size_t i = 0; i < count; ++i)
                node.literals.push_back(std::string{'\'', m_text[m_pos + i], '\''});
            m_pos += count;
        } else {
            node.literals.reserve(std::min<std::size_t>(count, m_text.size() - m_pos));
            for (std::size_t i = 0; i < count; ++i) {
                std::size_t at = m_pos;
                std::string literal = parseName("a literal");
                if (literal.front() == '\'' ? !isCharacterLiteral(literal)
                                            : !isIdentifierText(literal))
                    failAt(at, "a literal: an identifier or one character in quotes");
                node.literals.push_back(std::move(literal));
            }
        }
        describeLiterals(node, countAt);
        node.size = node.literals.size() <= 256 ? 1 : 4;
        node.scalarSize = node.size;
        return &node;
    }

    // Everything the value code asks per literal, computed once.
    void describeLiterals(Node& node, std::size_t countAt) {
        std::size_t n = node.literals.size();
        auto& identifiers = node.identifierOrdinals;
        node.allCharacters = true;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& literal = node.literals[i];
            if (isCharacterLiteral(literal)) {
                auto c = static_cast<std::uint8_t>(literal[1]);
                node.literalChar.push_back(c);
                node.charOrdinals.emplace_back(c, static_cast<std::uint32_t>(i));
                node.hasCharacters = true;
            } else {
                node.literalChar.push_back(-1);
                node.allCharacters = false;
                if (!identifiers.emplace(lowered(literal), static_cast<std::uint32_t>(i)).second)
                    failAt(countAt, "distinct literals, but \"" + literal + "\" repeats");
            }
        }
        std::sort(node.charOrdinals.begin(), node.charOrdinals.end());
        for (std::size_t i = 1; i < node.charOrdinals.size(); ++i)
            if (node.charOrdinals[i].first == node.charOrdinals[i - 1].first)
                failAt(countAt, "distinct literals, but a character literal repeats");

        node.ordinalZero = ordinalOfChar(node, '0');
        node.ordinalOne = ordinalOfChar(node, '1');
        node.bitLike = node.allCharacters && node.ordinalZero >= 0 && node.ordinalOne >= 0;
        node.booleanLike = n == 2 && identifiers.count("false") && identifiers.count("true");
        node.stdLogicLike = node.allCharacters;
        static constexpr std::string_view kStdLogic = "UX01ZWLH-";
        for (std::size_t i = 0; i < n; ++i) {
            int c = node.literalChar[i];
            char upper =
                c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
            auto at = c < 0 ? std::string_view::npos : kStdLogic.find(upper);
            if (at == std::string_view::npos)
                node.stdLogicLike = false;
            StdLogic logic = at == std::string_view::npos ? StdLogic::X : static_cast<StdLogic>(at);
            std::int8_t bit = -1;
            if (c == '0' || upper == 'L')
                bit = 0;
            else if (c == '1' || upper == 'H')
                bit = 1;
            if (node.booleanLike) {
                bit = equalsIgnoreCase(node.literals[i], "true") ? 1 : 0;
                logic = bit ? StdLogic::One : StdLogic::Zero;
            }
            node.stdLogic.push_back(logic);
            node.bitValue.push_back(bit);
        }
        describeInverses(node);
    }

    // Inverses: '0' and '1', 'L' and 'H' (either case), false and true; the rest stay.
    static void describeInverses(Node& node) {
        std::size_t n = node.literals.size();
        node.inverse.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            node.inverse[i] = static_cast<std::uint32_t>(i);
            int c = node.literalChar[i];
            static constexpr std::pair<char, char> kPairs[] = {{'0', '1'}, {'1', '0'}, {'L', 'H'},
                                                               {'H', 'L'}, {'l', 'h'}, {'h', 'l'}};
            for (auto [from, to] : kPairs) {
                std::int64_t partner =
                    c == from ? ordinalOfChar(node, static_cast<unsigned char>(to)) : -1;
                if (partner >= 0)
                    node.inverse[i] = static_cast<std::uint32_t>(partner);
            }
            if (node.booleanLike)
                node.inverse[i] = static_cast<std::uint32_t>(1 - i);
        }
    }

    Node* parseInteger() {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Integer);
        node.name = parseName("the type name");
        parseIntegerRange(node);
        constexpr auto lo = std::numeric_limits<std::int32_t>::min();
        constexpr auto hi = std::numeric_limits<std::int32_t>::max();
        bool fits32 = node.left >= lo && node.left <= hi && node.right >= lo && node.right <= hi;
        node.size = fits32 ? 4 : 8;
        node.scalarSize = node.size;
        return &node;
    }

    void parseIntegerRange(Node& node) {
        std::size_t start = m_pos;
        expect('(', "'(' opening the range");
        node.left = parseInteger("as the left bound");
        node.direction = parseDirection();
        node.right = parseInteger("as the right bound");
        expect(')', "')' closing the range");
        if (node.direction == KTypeInfo::To ? node.left > node.right : node.left < node.right)
            failAt(start, "a range that is not null");
    }

    Node* parseRealType() {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Real);
        node.name = parseName("the type name");
        std::size_t start = m_pos;
        expect('(', "'(' opening the range");
        node.realLeft = parseReal("as the left bound");
        node.direction = parseDirection();
        node.realRight = parseReal("as the right bound");
        expect(')', "')' closing the range");
        if (node.direction == KTypeInfo::To ? node.realLeft > node.realRight
                                            : node.realLeft < node.realRight)
            failAt(start, "a range that is not null");
        node.size = node.scalarSize = 8;
        return &node;
    }

    Node* parsePhysical() {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Integer);
        node.physical = true;
        node.name = parseName("the type name");
        parseIntegerRange(node);
        expect('u', "'u' opening the units");
        std::size_t countAt = m_pos;
        auto count = parseCount("unit count", m_text.size());
        if (count == 0)
            failAt(countAt, "at least one unit");
        std::unordered_set<std::string> names;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::size_t at = m_pos;
            std::string name = parseName("a unit name");
            if (!isIdentifierText(name) || !names.insert(lowered(name)).second)
                failAt(at, "a distinct unit name");
            at = m_pos;
            auto factor = static_cast<std::int64_t>(
                parseCount("unit factor", std::numeric_limits<std::int64_t>::max()));
            if (i == 0 ? factor != 1 : factor < 1)
                failAt(at, i == 0 ? "factor 1 for the primary unit" : "a positive unit factor");
            expect(';', "';' after the unit factor");
            node.units.push_back({std::move(name), factor});
        }
        node.size = node.scalarSize = 8;
        return &node;
    }

    Node* parseArray(int depth) {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Array);
        node.name = parseName("the type name");
        std::size_t countAt = m_pos;
        auto count = parseCount("dimension count", kMaxDimensions);
        if (count == 0)
            failAt(countAt, "at least one dimension");
        std::uint64_t elements = 1;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::size_t at = m_pos;
            expect('(', "'(' opening a dimension's range");
            Node::Range range{};
            range.left = parseInteger("as the left bound");
            range.direction = parseDirection();
            range.right = parseInteger("as the right bound");
            expect(')', "')' closing the range");
            // Lengths in unsigned 64-bit arithmetic: the difference of two int64 always fits.
            auto low = static_cast<std::uint64_t>(range.direction == KTypeInfo::To ? range.left
                                                                                   : range.right);
            auto high = static_cast<std::uint64_t>(range.direction == KTypeInfo::To ? range.right
                                                                                    : range.left);
            bool null = range.direction == KTypeInfo::To ? range.left > range.right
                                                         : range.left < range.right;
            std::uint64_t length = null ? 0 : high - low + 1; // 0 after wrap-around is caught below
            if (!null && (length == 0 || length > kMaxElements))
                failAt(at, "a dimension of at most " + std::to_string(kMaxElements) + " elements");
            range.length = static_cast<std::int64_t>(length);
            elements *= length; // both factors are at most 2^30: no overflow
            if (elements > kMaxElements)
                failAt(at, "at most " + std::to_string(kMaxElements) + " elements in all");
            node.dimensions.push_back(range);
        }
        std::size_t elementAt = m_pos;
        node.element = parseType(depth + 1);
        node.elementCount = static_cast<std::int64_t>(elements);
        std::uint64_t size = elements * node.element->size; // at most 2^30 * 2^30
        if (size > kMaxValueSize)
            failAt(elementAt, "a value of at most " + std::to_string(kMaxValueSize) + " bytes");
        node.size = static_cast<std::uint32_t>(size);
        node.scalarSize = node.element->scalarSize;
        // Rows of several dimensions count as nested arrays: each null row is walked too.
        node.cells = node.element->cells;
        for (std::size_t d = node.dimensions.size(); d-- > 0;) {
            node.cells = static_cast<std::uint64_t>(node.dimensions[d].length) *
                         std::max<std::uint64_t>(1, node.cells);
            if (node.cells > kMaxElements)
                failAt(elementAt, "at most " + std::to_string(kMaxElements) +
                                      " elements in all, nested arrays included");
        }
        return &node;
    }

    Node* parseRecord(int depth) {
        ++m_pos;
        Node& node = newNode(KTypeInfo::Record);
        node.name = parseName("the type name");
        std::size_t countAt = m_pos;
        auto count = parseCount("field count", m_text.size());
        if (count == 0)
            failAt(countAt, "at least one field");
        std::uint64_t size = 0;
        node.cells = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::string name = parseName("a field name");
            std::size_t typeAt = m_pos;
            const Node* type = parseType(depth + 1);
            node.fields.push_back({std::move(name), type, static_cast<std::uint32_t>(size)});
            size += type->size;
            if (size > kMaxValueSize)
                failAt(typeAt, "a value of at most " + std::to_string(kMaxValueSize) + " bytes");
            node.cells += std::max<std::uint64_t>(1, type->cells);
            if (node.cells > kMaxElements)
                failAt(typeAt, "at most " + std::to_string(kMaxElements) +
                                   " elements in all, nested arrays included");
        }
        node.size = static_cast<std::uint32_t>(size);
        node.scalarSize = 0;
        return &node;
    }

    std::string_view m_text;
    Tree& m_tree;
    std::size_t m_pos = 0;
};

} // namespace

std::shared_ptr<const Tree> parseTypeString(std::string_view text, std::string* error) {
    auto tree = std::make_shared<Tree>();
    try {
        Parser(text, *tree).parseWhole();
    } catch (const ParseError& e) {
        if (error)
            *error = "at byte " + std::to_string(e.offset) + ": expected " + e.expected;
        return nullptr;
    }
    return tree;
}

} // namespace typeinfo
