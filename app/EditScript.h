#pragma once

// The text of an edit script: one command a line, split into words.
//
// Words are separated by blanks. A word that starts with a double quote runs to the next double
// quote that is not doubled ("a ""b"" c" is the word a "b" c) and is never taken as a keyword,
// so a signal can be named like one. A line whose first non-blank character is '#' is a comment;
// comments and blank lines are dropped, and every remaining line keeps its number so that errors
// can name it. Commands given on the command line (-e) are numbered by their position instead.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct EditWord {
    std::string text;      // without quotes
    bool quoted = false;   // written in double quotes: never a keyword
    std::size_t begin = 0; // byte offset of the word in its line
};

struct EditScriptLine {
    std::string source; // the script file's name, or "-e"
    int number = 0;     // the line number, or the position of the -e command
    std::string text;
    std::vector<EditWord> words;
    std::string error; // why the line could not be split into words; empty when it could

    // The text from word `index` on, as written, blanks trimmed at both ends: the argument of
    // commands that take free text (values, formulas, comments). Empty past the last word.
    std::string textFrom(std::size_t index) const;
};

class EditScript {
public:
    // Reads a script file ("-" reads the standard input); none, with `error` set, when it cannot
    // be read.
    static std::optional<EditScript> fromFile(const std::string& path, std::string& error);
    // One command for each text given with -e.
    static EditScript fromCommands(std::span<const std::string_view> commands);
    // Splits the text of one line; false and `error` set for an unclosed quote.
    static bool splitWords(std::string_view text, std::vector<EditWord>& words, std::string& error);

    const std::vector<EditScriptLine>& lines() const { return m_lines; }

private:
    void addText(const std::string& source, int number, std::string_view text);

    std::vector<EditScriptLine> m_lines;
};
