#pragma once

// Reading the arguments of one edit command, word by word.
//
// Every reader names what it expects; when the word is missing or wrong it throws
// EditCommandError with a message that says what was expected, what was found, and the
// command's usage, so a script's author can fix the line from the message alone.

#include "app/EditScript.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

// A command line that cannot run: a bad argument, an unknown signal, a state that does not allow
// the command. The message is the user's.
class EditCommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EditArguments {
public:
    // The words of `line` from `first` on; `usage` is the command with its arguments.
    EditArguments(const EditScriptLine& line, std::size_t first, std::string usage);

    bool atEnd() const { return m_next >= m_line.words.size(); }
    // The next word without taking it; null at the end.
    const EditWord* peek() const;
    // The next word; throws "missing WHAT" at the end.
    const EditWord& word(std::string_view what);
    // Takes the next word when it is the unquoted keyword (letter case ignored).
    bool accept(std::string_view keyword);
    // The index of the keyword the next word is; throws naming them all otherwise.
    std::size_t choice(std::string_view what, std::initializer_list<std::string_view> keywords);
    // A time such as 10ns, 1.5us, "1.5 us" or 10 ns (a number and a unit word); never negative.
    SimTime time(std::string_view what);
    // A whole number in [low, high]; a trailing '%' is allowed when `percent` is set.
    std::int64_t integer(std::string_view what, std::int64_t low, std::int64_t high,
                         bool percent = false);
    double number(std::string_view what);
    // The rest of the line as written; throws when it is empty.
    std::string text(std::string_view what);
    // Throws when words are left over.
    void finish() const;

    // Narrows the usage that errors show once a command's form is known.
    void setUsage(std::string usage) { m_usage = std::move(usage); }

    // Throws `message` with the command's usage.
    [[noreturn]] void fail(const std::string& message) const;
    // "expected WHAT, got 'WORD'" for the word just read.
    [[noreturn]] void expected(std::string_view what, const EditWord& got) const;

private:
    const EditScriptLine& m_line;
    std::size_t m_next;
    std::string m_usage;
};
