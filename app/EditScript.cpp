#include "app/EditScript.h"

#include "storage/TextCase.h"

#include <fstream>
#include <iostream>
#include <sstream>

std::string EditScriptLine::textFrom(std::size_t index) const {
    if (index >= words.size())
        return {};
    return std::string(trimBlanks(std::string_view(text).substr(words[index].begin)));
}

bool EditScript::splitWords(std::string_view text, std::vector<EditWord>& words,
                            std::string& error) {
    words.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        if (isBlankChar(text[at])) {
            ++at;
            continue;
        }
        EditWord word;
        word.begin = at;
        if (text[at] == '"') {
            word.quoted = true;
            ++at;
            for (;;) {
                if (at == text.size()) {
                    error = "the quote opened in column " + std::to_string(word.begin + 1) +
                            " is not closed";
                    return false;
                }
                if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                    word.text += '"';
                    at += 2;
                } else if (text[at] == '"') {
                    ++at;
                    break;
                } else {
                    word.text += text[at++];
                }
            }
        } else {
            while (at < text.size() && !isBlankChar(text[at]))
                word.text += text[at++];
        }
        words.push_back(std::move(word));
    }
    return true;
}

void EditScript::addText(const std::string& source, int number, std::string_view text) {
    const std::string_view content = trimBlanks(text);
    if (content.empty() || content.front() == '#')
        return;
    EditScriptLine line;
    line.source = source;
    line.number = number;
    line.text = std::string(text);
    splitWords(line.text, line.words, line.error);
    m_lines.push_back(std::move(line));
}

std::optional<EditScript> EditScript::fromFile(const std::string& path, std::string& error) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            error = path + ": cannot read the script";
            return std::nullopt;
        }
        in = &file;
    }
    EditScript script;
    std::string text;
    for (int number = 1; std::getline(*in, text); ++number) {
        if (number == 1 && text.starts_with("\xEF\xBB\xBF"))
            text.erase(0, 3); // a byte-order mark some editors write
        script.addText(path, number, text);
    }
    if (in->bad()) {
        error = path + ": cannot read the script";
        return std::nullopt;
    }
    return script;
}

EditScript EditScript::fromCommands(std::span<const std::string_view> commands) {
    EditScript script;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        std::istringstream lines{std::string(commands[i])};
        std::string text;
        while (std::getline(lines, text))
            script.addText("-e", static_cast<int>(i + 1), text);
    }
    return script;
}
