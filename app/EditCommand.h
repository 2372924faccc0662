#pragma once

// The dispatch table of edit commands: each command's name (one or two words), its arguments as
// the help shows them, whether it changes the document (and so runs inside one undo item), and
// the function that reads its arguments and makes the change.

#include "app/EditOperations.h"
#include "app/EditScript.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

class EditArguments;
class EditSession;

struct EditCommand {
    std::string_view name;      // "select", "fill clock"
    std::string_view arguments; // "PERIOD [offset TIME] [width PERCENT] [high|low]"
    std::string_view summary;
    bool changesDocument;
    EditStatus (*run)(EditSession& session, EditArguments& arguments);

    std::string usage() const;
};

// The commands on signals, properties, items, the selection and saving (EditSignalCommands.cpp)
// and those on waveforms, the clipboard and undo (EditWaveCommands.cpp).
std::span<const EditCommand> signalEditCommands();
std::span<const EditCommand> waveEditCommands();

// The command a line starts with and how many words its name took; null, with `error` saying
// what was expected, for an unknown one.
const EditCommand* findEditCommand(const EditScriptLine& line, std::size_t& nameWords,
                                   std::string& error);
