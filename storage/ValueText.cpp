#include "storage/ValueText.h"

#include <algorithm>
#include <limits>

namespace {

// One part of a value being walked: a signal node, or a field or element that only the type
// knows about (node null).
struct Item {
    const IValueNode* node = nullptr;
    KTypeInfo type;
    int radix = 0;
    bool inverted = false;
};

enum class Form {
    Simple,    // one text from the type information
    Composite, // an aggregate of children
    Unknown,   // no type information and no children
};

std::string_view trimmedBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The next element text of an aggregate's inside, from `cursor` up to the next ',' outside
// parentheses; character literals such as ',' or '(' are taken whole. Nothing when the
// parentheses do not balance.
std::optional<std::string_view> nextElement(std::string_view inner, std::size_t& cursor) {
    const std::size_t start = cursor;
    int depth = 0;
    while (cursor < inner.size()) {
        const char c = inner[cursor];
        if (c == '\'' && cursor + 2 < inner.size() && inner[cursor + 2] == '\'') {
            cursor += 3;
            continue;
        }
        if (c == ',' && depth == 0)
            break;
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth < 0) {
            return std::nullopt;
        }
        ++cursor;
    }
    if (depth != 0)
        return std::nullopt;
    return inner.substr(start, cursor - start);
}

class Walker {
public:
    Walker(const KTypesManager& types, int defaultRadix)
        : m_types(types), m_defaultRadix(defaultRadix) {}

    Item itemOf(const IValueNode& node) const {
        return {&node, m_types.type(node.typeIndex()),
                node.radix() > 0 ? node.radix() : m_defaultRadix, node.isInverted()};
    }

    bool hasNodeChildren(const Item& item) const {
        return item.node != nullptr && item.node->childCount() > 0;
    }

    Form form(const Item& item) const {
        const bool typed = item.type.isValid() && item.type.GetKind() != KTypeInfo::None;
        // A bus of a simple array type is one text however many child rows it has.
        if (typed && item.type.IsSimple() &&
            (!hasNodeChildren(item) || item.type.GetKind() == KTypeInfo::Array))
            return Form::Simple;
        return childCount(item) > 0 ? Form::Composite : Form::Unknown;
    }

    int childCount(const Item& item) const {
        if (hasNodeChildren(item))
            return item.node->childCount();
        if (!item.type.isValid() || item.type.IsSimple())
            return 0;
        if (item.type.GetKind() == KTypeInfo::Record)
            return std::max(0, item.type.GetNbOfFields());
        if (item.type.GetKind() == KTypeInfo::Array) {
            return static_cast<int>(std::clamp<std::int64_t>(item.type.GetNbOfElements(), 0,
                                                             std::numeric_limits<int>::max()));
        }
        return 0;
    }

    Item child(const Item& item, int index) const {
        if (hasNodeChildren(item))
            return itemOf(item.node->child(index));
        KTypeInfo part = item.type.GetKind() == KTypeInfo::Record ? item.type.fieldType(index)
                                                                  : item.type.elementType();
        return {nullptr, std::move(part), item.radix, item.inverted};
    }

    std::size_t size(const Item& item) const {
        if (!hasNodeChildren(item) || form(item) == Form::Simple)
            return item.type.isValid() ? item.type.GetSimpleSize() : 0;
        std::size_t total = 0;
        for (int i = 0; i < item.node->childCount(); ++i)
            total += size(itemOf(item.node->child(i)));
        return total;
    }

private:
    const KTypesManager& m_types;
    int m_defaultRadix;
};

class Formatter {
public:
    Formatter(const KTypesManager& types, const ValueFormat& format,
              std::span<const std::uint8_t> value)
        : m_walker(types, format.defaultRadix), m_markAbsent(format.markAbsent), m_value(value) {}

    const Walker& walker() const { return m_walker; }

    std::string text(const Item& item, std::size_t& position) const {
        switch (m_walker.form(item)) {
        case Form::Simple:
            return simpleText(item, position);
        case Form::Composite:
            return compositeText(item, position);
        case Form::Unknown:
            break;
        }
        return absentText();
    }

private:
    std::string absentText() const { return m_markAbsent ? "?" : ""; }

    std::string simpleText(const Item& item, std::size_t& position) const {
        const std::size_t size = item.type.GetSimpleSize();
        const bool present = position <= m_value.size() && size <= m_value.size() - position;
        std::string text =
            present ? item.type.GetValueString(m_value.data() + position, item.radix, item.inverted)
                    : absentText();
        position += size;
        return text;
    }

    std::string compositeText(const Item& item, std::size_t& position) const {
        const std::size_t start = position;
        const int count = m_walker.childCount(item);
        std::string out = "(";
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                out += ',';
            out += text(m_walker.child(item, i), position);
            if (out.size() > kMaxCompositeText) {
                // The elements not shown still take their bytes.
                position = start + m_walker.size(item);
                return cut(std::move(out));
            }
        }
        out += ')';
        return out.size() > kMaxCompositeText ? cut(std::move(out)) : out;
    }

    static std::string cut(std::string text) {
        text.resize(kMaxCompositeText);
        return text + "...)";
    }

    Walker m_walker;
    bool m_markAbsent;
    std::span<const std::uint8_t> m_value;
};

class Parser {
public:
    Parser(const KTypesManager& types, int radix, std::span<std::uint8_t> buffer)
        : m_walker(types, radix), m_buffer(buffer) {}

    const Walker& walker() const { return m_walker; }

    bool parse(const Item& item, std::string_view text, std::size_t& position) const {
        switch (m_walker.form(item)) {
        case Form::Simple:
            return parseSimple(item, text, position);
        case Form::Composite:
            return parseComposite(item, text, position);
        case Form::Unknown:
            break;
        }
        return false;
    }

private:
    bool parseSimple(const Item& item, std::string_view text, std::size_t& position) const {
        const std::size_t size = item.type.GetSimpleSize();
        if (position > m_buffer.size() || size > m_buffer.size() - position)
            return false;
        const auto room = static_cast<std::uint32_t>(std::min<std::size_t>(
            m_buffer.size() - position, std::numeric_limits<std::uint32_t>::max()));
        if (!item.type.GetBytes(text, m_buffer.data() + position, room, item.radix, item.inverted))
            return false;
        position += size;
        return true;
    }

    bool parseComposite(const Item& item, std::string_view text, std::size_t& position) const {
        text = trimmedBlanks(text);
        if (text.size() < 3 || text.front() != '(' || text.back() != ')')
            return false;
        const std::string_view inner = text.substr(1, text.size() - 2);
        const int count = m_walker.childCount(item);
        // Every element needs a character and all but the last a comma.
        if (static_cast<std::size_t>(count) > inner.size() / 2 + 1)
            return false;
        std::size_t cursor = 0;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && (cursor >= inner.size() || inner[cursor++] != ','))
                return false;
            const std::optional<std::string_view> element = nextElement(inner, cursor);
            if (!element)
                return false;
            const std::string_view elementText = trimmedBlanks(*element);
            if (elementText.empty() || !parse(m_walker.child(item, i), elementText, position))
                return false;
        }
        return cursor == inner.size();
    }

    Walker m_walker;
    std::span<std::uint8_t> m_buffer;
};

std::string boundsText(std::int64_t left, std::int64_t right, bool downto) {
    return "(" + std::to_string(left) + (downto ? " downto " : " to ") + std::to_string(right) +
           ")";
}

} // namespace

std::string FormatValue(const KTypesManager& types, const IValueNode& signal,
                        std::span<const std::uint8_t> value, std::size_t& position,
                        const ValueFormat& format) {
    Formatter formatter(types, format, value);
    return formatter.text(formatter.walker().itemOf(signal), position);
}

bool ParseValue(const KTypesManager& types, std::string_view text, const IValueNode& signal,
                std::span<std::uint8_t> buffer, std::size_t& position, int radix) {
    Parser parser(types, radix, buffer);
    return parser.parse(parser.walker().itemOf(signal), text, position);
}

std::size_t valueSize(const KTypesManager& types, const IValueNode& signal) {
    Walker walker(types, 0);
    return walker.size(walker.itemOf(signal));
}

std::string rangeText(const KTypeInfo& type) {
    std::int64_t left = 0, right = 0;
    int direction = 0;
    if (!type.isValid() || !type.GetArrayDimensionRanges(0, left, right, direction))
        return {};
    return boundsText(left, right, direction == KTypeInfo::Downto);
}

std::string rangeText(std::int64_t left, std::int64_t right) {
    return boundsText(left, right, left > right);
}
