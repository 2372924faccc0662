#include "app/EditCommand.h"

#include "storage/TextCase.h"

#include <array>
#include <cctype>

namespace {

std::string_view firstWord(std::string_view name) {
    return name.substr(0, name.find(' '));
}

} // namespace

std::string EditCommand::usage() const {
    return arguments.empty() ? std::string(name) : std::string(name) + " " + std::string(arguments);
}

const EditCommand* findEditCommand(const EditScriptLine& line, std::size_t& nameWords,
                                   std::string& error) {
    const std::array tables{signalEditCommands(), waveEditCommands()};
    if (line.words.empty() || line.words[0].quoted) {
        error = "expected a command, got '" + line.text + "'";
        return nullptr;
    }
    const std::string first = asciiLower(line.words[0].text);
    const std::string second =
        line.words.size() > 1 && !line.words[1].quoted ? asciiLower(line.words[1].text) : "";
    std::string followers;
    for (std::span<const EditCommand> table : tables) {
        for (const EditCommand& command : table) {
            if (firstWord(command.name) != first)
                continue;
            if (command.name.size() == first.size()) {
                nameWords = 1;
                return &command;
            }
            const std::string_view rest = command.name.substr(first.size() + 1);
            if (rest == second) {
                nameWords = 2;
                return &command;
            }
            followers += (followers.empty() ? "" : "|") + std::string(rest);
        }
    }
    if (!followers.empty()) {
        error = first + ": expected " + followers +
                (line.words.size() > 1 ? ", got '" + line.words[1].text + "'" : " after it");
        return nullptr;
    }
    std::string names;
    std::string_view previous;
    for (std::span<const EditCommand> table : tables) {
        for (const EditCommand& command : table) {
            if (firstWord(command.name) == previous)
                continue;
            previous = firstWord(command.name);
            names += (names.empty() ? "" : ", ") + std::string(previous);
        }
    }
    error = "unknown command '" + line.words[0].text + "' (commands: " + names + ")";
    return nullptr;
}
