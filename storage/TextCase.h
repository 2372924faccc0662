#pragma once

// Small text helpers shared by the parsers of names, types, scripts and fills: ASCII case folding
// (VHDL names and our keywords ignore case; other bytes pass unchanged, so UTF-8 survives) and
// trimming of blanks.

#include <string>
#include <string_view>

inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

inline std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Blanks: space, tab, carriage return, line feed, form feed, vertical tab.
inline bool isBlankChar(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

inline std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlankChar(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankChar(text.back()))
        text.remove_suffix(1);
    return text;
}
